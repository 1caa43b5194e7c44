// The PKCS#7 encoder: signedData, envelopedData or signedAndEnvelopedData
// from a content stream to a message stream, with signers, recipients,
// carried records and the content key in the slots of a DataSets record.
// The content is read twice, to measure and digest it and then to copy or
// encrypt it, so every header is written with its final length first.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_engine_params.h"

enum : unsigned {
    kPkcs7FlagDetached = 1,    // signedData without its content
    kPkcs7FlagAttributes = 2,  // authenticated attributes in each new SignerInfo
    kPkcs7FlagNoContent = 4,   // no content read and no new signer: carried records only
};

enum : std::size_t {
    kPkcs7CipherChunkSize = kPkcs7ContentChunkSize + 8,  // a chunk and its padding
};

// The encoder's working memory, wiped when released.
struct Pkcs7EncoderBuffers {
    unsigned char* plain = nullptr;      // content chunks as read (kPkcs7ContentChunkSize)
    unsigned char* encrypted = nullptr;  // content chunks as written (kPkcs7CipherChunkSize)
    unsigned char* records = nullptr;    // a RecipientInfo, then the new SignerInfos (kPkcs7RecordBufferSize)
    // False when memory runs out (whatever was obtained is released).
    bool Allocate();
    void Release();
    ~Pkcs7EncoderBuffers() { Release(); }
};

// operation: kOperationSign, kOperationEnvelope or kOperationSignAndEnvelope.
// wrap: write the ContentInfo and the body's SEQUENCE header (without it the
// output begins with the version INTEGER). innerType: kInnerSigned,
// kInnerEnveloped or kInnerSignedAndEnveloped name the content's type, any
// other value data. contentCipher: Pkcs7ContentCipherCode, above 2 triple DES.
// New RecipientInfos are added to slot 2 and new signatures to slot 8;
// the caller clears them. The streams are finished on every path after
// they were started; a failure may leave a partial message.
Pkcs7Result EncodePKCS7Stream(int operation, DataStream* message, DataStream* content, bool wrap, int innerType,
                              DataSets* sets, int contentCipher, unsigned flags, Pkcs7EncoderBuffers* buffers);
