#include "core/pkcs7/pkcs7_reencode_entry.h"

#include <initializer_list>

#include "core/io/temp_file.h"
#include "core/pkcs7/pkcs7_decode.h"
#include "core/pkcs7/pkcs7_encode_entry.h"
#include "core/pkcs7/pkcs7_signer_info_crypt.h"

namespace {

// The opened message: its content in a temporary file, its kind.
struct OpenedMessage {
    TemporaryFile file;  // declared first: removed after the stream closes
    DataStream content{};
    int status = kSignatureUndecided;
    int innerType = kInnerData;
    int outerType = kOuterFailed;
    int contentCipher = kCipherNotSet;

    ~OpenedMessage() { CloseStream(&content); }

    Pkcs7Result Open(DataStream* message, DataSets* sets)
    {
        if (!file.Create() || OpenStream(&content, kStreamFile, kTransferRaw) != kStreamSuccess ||
            SetStreamFile(&content, file.name) != kStreamSuccess)
            return Pkcs7Result::OutputNotWritable;
        const Pkcs7Result result = DecodePKCS7Message(&content, message, nullptr, &status, kPkcs7TypeHintContentInfo,
                                                      &innerType, &outerType, 0, sets, nullptr, &contentCipher);
        if (result != Pkcs7Result::Done) return result;
        return outerType == kOuterSigned || outerType == kOuterSignedAndEnveloped ? Pkcs7Result::Done
                                                                                  : Pkcs7Result::BadStructure;
    }
};

}  // namespace

Pkcs7Result AddPKCS7Signature(DataStream* output, DataStream* message, DataSets* sets)
{
    OpenedMessage opened;
    const Pkcs7Result result = opened.Open(message, sets);
    if (result != Pkcs7Result::Done) return result;
    if (!CopyOwnCredentialsToSigner(sets)) return Pkcs7Result::BadSlots;
    return EncodePKCS7Message(opened.outerType, output, &opened.content, true, true, opened.innerType,
                              opened.outerType, 0, sets, nullptr, opened.contentCipher);
}

Pkcs7Result EnvelopePKCS7Message(DataStream* output, DataStream* message, const unsigned char* recipientCertificate,
                                 std::size_t recipientLength, DataSets* sets, int contentCipher)
{
    OpenedMessage opened;
    Pkcs7Result result = opened.Open(message, sets);
    if (result != Pkcs7Result::Done) return result;
    if (opened.contentCipher != kCipherNotSet) contentCipher = opened.contentCipher;
    for (std::uint32_t slot : {kSlotSignerCertificates, kSlotSignerKeys, kSlotSignerPasswords})
        ClearDataSet(sets, slot);
    if (opened.outerType == kOuterSigned) {
        result = EncryptSignerInfos(kSignerInfosEncrypt, sets, nullptr, contentCipher);
        if (result != Pkcs7Result::Done) return result;
    }
    if (!AddDerSequence(sets, kSlotRecipientCertificates, Pkcs7DerInput{recipientCertificate, recipientLength}))
        return Pkcs7Result::CAUnusable;
    return EncodePKCS7Message(kOperationSignAndEnvelope, output, &opened.content, true, true, opened.innerType,
                              opened.outerType, 0, sets, nullptr, contentCipher);
}
