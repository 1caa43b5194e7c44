#include "core/pkcs7/pkcs7_encode_entry.h"

#include <cstring>

#include "core/der/der_reader.h"

namespace {

void ClearSlots(DataSets* sets, std::uint32_t first, std::uint32_t last)
{
    for (std::uint32_t slot = first; slot <= last; ++slot) ClearDataSet(sets, slot);
}

Pkcs7Result EncodeFromBuffers(DataStream* content, DataStream* message, Pkcs7DerInput signerCertificate,
                              Pkcs7DerInput signerKey, const char* password, Pkcs7DerInput recipientCertificate,
                              int operation, DataSets* sets, unsigned flags, bool keepSlots)
{
    if (!keepSlots) DeleteDataSets(sets);
    const bool enveloping = operation == kOperationEnvelope || operation == kOperationSignAndEnvelope;
    const bool withSigner = operation != kOperationEnvelope || signerCertificate.data || signerKey.data;
    if (withSigner) {
        if (!AddDerSequence(sets, kSlotSignerCertificates, signerCertificate)) return Pkcs7Result::CertificateUnusable;
        if (!AddDerSequence(sets, kSlotSignerKeys, signerKey)) return Pkcs7Result::KeyUnusable;
        const char* text = password ? password : "";
        if (AddDataItem(sets, kSlotSignerPasswords, text, std::strlen(text) + 1) != kDataSetsOk)
            return Pkcs7Result::BadSlots;
    }
    if (enveloping && !AddDerSequence(sets, kSlotRecipientCertificates, recipientCertificate))
        return Pkcs7Result::CAUnusable;
    return EncodePKCS7Message(operation, message, content, false, true, kInnerData, operation, flags, sets, nullptr,
                              kCipherTripleDes);
}

}  // namespace

bool AddDerSequence(DataSets* sets, std::uint32_t slot, const Pkcs7DerInput& input)
{
    if (!input.data) return false;
    DERCursor cursor = der_reader::Reader(input.data, input.length);
    ByteBuffer content, whole;
    return der_reader::ReadExpected(&cursor, kTagSequence, &content, &whole) &&
           AddDataItem(sets, slot, whole.pointer, whole.length) == kDataSetsOk;
}

bool CopyOwnCredentialsToSigner(DataSets* sets)
{
    ClearSlots(sets, kSlotSignerCertificates, kSlotSignerPasswords);
    return CopyDataItem(sets, kSlotSignerCertificates, kSlotOwnCertificate, 1) == kDataSetsOk &&
           CopyDataItem(sets, kSlotSignerKeys, kSlotOwnKey, 1) == kDataSetsOk &&
           CopyDataItem(sets, kSlotSignerPasswords, kSlotOwnPassword, 1) == kDataSetsOk;
}

int ContinuedOperation(int previousOperation, int operation)
{
    if (operation == previousOperation) return operation;
    if (previousOperation == kOperationSignAndEnvelope &&
        (operation == kOperationSign || operation == kOperationEnvelope))
        return kOperationSignAndEnvelope;
    if (previousOperation == kOperationSign &&
        (operation == kOperationEnvelope || operation == kOperationSignAndEnvelope))
        return kOperationSignAndEnvelope;
    return 0;
}

Pkcs7Result EncodePKCS7Message(int operation, DataStream* message, DataStream* content, bool continueMessage,
                               bool wrap, int innerType, int previousOperation, unsigned flags, DataSets* sets,
                               DERCursor* cursor, int contentCipher)
{
    (void)cursor;
    if (!continueMessage) {
        ClearDataSet(sets, kSlotSignerInfos);
        if (!(flags & kPkcs7FlagNoContent)) ClearDataSet(sets, kSlotCarriedCertificates);
        ClearDataSet(sets, kSlotRecipientInfos);
        ClearDataSet(sets, kSlotContentKey);
    } else {
        operation = ContinuedOperation(previousOperation, operation);
    }
    ClearDataSet(sets, kSlotNewSignatures);
    Pkcs7Result result = Pkcs7Result::NoMemory;
    Pkcs7EncoderBuffers buffers;
    if (buffers.Allocate())
        result = EncodePKCS7Stream(operation, message, content, wrap, innerType, sets, contentCipher, flags, &buffers);
    ClearSlots(sets, kSlotSignerInfos, kSlotNewSignatures);
    return result;
}

Pkcs7Result SignPKCS7WithOwnCredentials(int operation, DataStream* message, DataStream* content, DataSets* sets,
                                        int contentCipher)
{
    if (!CopyOwnCredentialsToSigner(sets)) return Pkcs7Result::BadSlots;
    return EncodePKCS7Message(operation, message, content, false, true, kInnerData, operation, 0, sets, nullptr,
                              contentCipher);
}

int SignStreamWithCredentials(DataStream* content, DataStream* message, DataSets* sets)
{
    return SignPKCS7WithOwnCredentials(kOperationSign, message, content, sets, kCipherDes) == Pkcs7Result::Done;
}

Pkcs7Result EncodePKCS7FromBuffers(DataStream* content, DataStream* message, Pkcs7DerInput signerCertificate,
                                   Pkcs7DerInput signerKey, const char* password,
                                   Pkcs7DerInput recipientCertificate, int operation, DataSets* sets)
{
    return EncodeFromBuffers(content, message, signerCertificate, signerKey, password, recipientCertificate,
                             operation, sets, 0, false);
}

Pkcs7Result EncodePKCS7FromBuffersWithFlags(DataStream* content, DataStream* message,
                                            Pkcs7DerInput signerCertificate, Pkcs7DerInput signerKey,
                                            const char* password, Pkcs7DerInput recipientCertificate, int operation,
                                            DataSets* sets, unsigned flags)
{
    const bool signing = operation == kOperationSign;
    if (!signing) flags &= ~(kPkcs7FlagDetached | kPkcs7FlagNoContent);
    return EncodeFromBuffers(content, message, signerCertificate, signerKey, password, recipientCertificate,
                             operation, sets, flags, signing && (flags & kPkcs7FlagNoContent));
}
