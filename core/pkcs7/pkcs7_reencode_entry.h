// Entry points that open a message and make it again: with one more
// signature (the own credentials), or enveloped for one more recipient. The
// opened content passes through a temporary file of our own, removed on
// every path.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_engine_params.h"

// Opens a signedData or signedAndEnvelopedData (the latter with the own key
// of slots 12-13) and writes it again with the own credentials (slots 14,
// 12, 13) as a further signer: the old SignerInfos, certificates and
// recipients are kept. BadStructure for another kind of message;
// OutputNotWritable when no temporary file can be made.
Pkcs7Result AddPKCS7Signature(DataStream* output, DataStream* message, DataSets* sets);

// Opens a signedData or signedAndEnvelopedData and writes it as a
// signedAndEnvelopedData for one more recipient: a signedData's SignerInfos
// are encrypted under a new content key first. The content cipher found in
// the message replaces the one given. CAUnusable for a recipient
// certificate that is not a SEQUENCE within its length.
Pkcs7Result EnvelopePKCS7Message(DataStream* output, DataStream* message, const unsigned char* recipientCertificate,
                                 std::size_t recipientLength, DataSets* sets, int contentCipher);
