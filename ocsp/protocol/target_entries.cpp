#include "ocsp/protocol/target_entries.h"

#include <initializer_list>
#include <vector>

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "ocsp/protocol/certificate_readers.h"
#include "ocsp/protocol/ocsp_set_items.h"
#include "ocsp/protocol/ocsp_sets.h"

namespace {

enum : std::uint32_t { kMaxTargets = 10 };

// Takes back the last item of each slot, so paired slots stay paired.
void DropLast(DataSets* sets, std::initializer_list<std::uint32_t> slots)
{
    for (std::uint32_t slot : slots) {
        const std::uint32_t count = ocsp_items::Count(sets, slot);
        if (count) DeleteDataItem(sets, slot, count);
    }
}

int AddBounded(DataSets* sets, std::uint32_t slot, const ByteBuffer& item)
{
    return ocsp_items::Count(sets, slot) < kMaxTargets && ocsp_items::Add(sets, slot, item) ? 1 : 0;
}

}  // namespace

int AddTargetEntry(const NameTable* issuerName, const ByteBuffer& serial, const RsaPublicKey* issuerKey,
                   DataSets* requestSets)
{
    if (!issuerName || !issuerKey || !serial.pointer || serial.length == 0 ||
        ocsp_items::Count(requestSets, kSlotTargetSerial) >= kMaxTargets)
        return 0;
    std::vector<unsigned char> nameBuffer(kOCSPWorkBufferSize), keyBuffer(kOCSPWorkBufferSize);
    DERCursor nameCursor, keyCursor;
    InitDERWriter(&nameCursor, nameBuffer.data(), nameBuffer.size());
    InitDERWriter(&keyCursor, keyBuffer.data(), keyBuffer.size());
    const std::size_t nameLength = EncodeName(&nameCursor, issuerName);
    const std::size_t keyLength = EncodeRsaPublicKey(&keyCursor, issuerKey);
    if (!nameLength || !keyLength) return 0;
    // The encoder writes the subjectPublicKey BIT STRING; the slot holds its bits.
    DERCursor written = der_reader::Reader(keyBuffer.data() + keyCursor.position, keyLength);
    ByteBuffer bitString, keyBits;
    if (!der_reader::ReadView(&written, kTagBitString, &bitString) || bitString.length < 2 || bitString.pointer[0] != 0)
        return 0;
    keyBits = ByteBuffer{bitString.pointer + 1, bitString.length - 1};
    if (!ocsp_items::Add(requestSets, kSlotTargetIssuerName,
                         ByteBuffer{nameBuffer.data() + nameCursor.position, nameLength}))
        return 0;
    if (!ocsp_items::Add(requestSets, kSlotTargetSerial, serial)) {
        DropLast(requestSets, {kSlotTargetIssuerName});
        return 0;
    }
    if (!ocsp_items::Add(requestSets, kSlotIssuerKey, keyBits)) {
        DropLast(requestSets, {kSlotTargetIssuerName, kSlotTargetSerial});
        return 0;
    }
    return 1;
}

std::size_t ReadIssuerNameAndKey(const unsigned char* der, std::size_t length, DataSets* requestSets)
{
    ByteBuffer subject, keyBits;
    const std::size_t size = ReadSubjectAndKeyBits(der, length, &subject, &keyBits);
    // The same certificates as ReadIssuerCertificate: UTCTime validity.
    if (!size || !ReadIssuerCertificate(der, length, requestSets)) return 0;
    if (!ocsp_items::Add(requestSets, kSlotTargetIssuerName, subject)) {
        DropLast(requestSets, {kSlotIssuerKey});
        return 0;
    }
    return size;
}

std::size_t ExtractSubjectAndKey(const unsigned char* der, std::size_t length, ByteBuffer* subject,
                                 ByteBuffer* keyBits)
{
    ByteBuffer copies[2] = {};
    *subject = *keyBits = ByteBuffer{nullptr, 0};
    const std::size_t size = ReadSubjectAndKeyBits(der, length, &copies[0], &copies[1]);
    if (!size || !der_reader::MakeHeapCopies(copies, 2)) return 0;
    *subject = copies[0];
    *keyBits = copies[1];
    return size;
}

int AddTargetSerial(DataSets* requestSets, const ByteBuffer& serial)
{
    return AddBounded(requestSets, kSlotTargetSerial, serial);
}

int AddTargetCertificate(DataSets* requestSets, const ByteBuffer& certificate)
{
    return AddBounded(requestSets, kSlotTargetCertificates, certificate);
}

int AddIssuerCertificate(DataSets* requestSets, const ByteBuffer& certificate)
{
    return AddBounded(requestSets, kSlotIssuerCertificates, certificate);
}
