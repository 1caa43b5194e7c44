// The certificates of a query: targets, their issuers, and where the
// responder is: the target's authority-information-access location or the
// responder list.
#include <cstring>

#include "core/datasets/datasets.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/text/text.h"
#include "core/x509/certificate.h"
#include "core/x509/decoded_certificate.h"
#include "ocsp/Dunmere.h"
#include "ocsp/api/response_common.h"
#include "ocsp/protocol/certificate_readers.h"
#include "ocsp/protocol/ocsp_sets.h"

namespace {

// The first AIA location of a certificate. 1 undecodable, -1 none usable, 0 found.
int ReadOcspLocation(const unsigned char* der, std::uint32_t length, char (&url)[DUNMERE_URL_SIZE])
{
    if (!der || length == 0) return 1;
    const DecodedCertificate certificate({const_cast<unsigned char*>(der), length}, nullptr);
    if (!certificate.decoded) return 1;
    int result = -1;
    std::uint16_t flags = 0;
    std::uint32_t critical = 0;
    ExtensionValues values;
    const ByteBuffer& aia = certificate.fields.extensions.slots[kExtAuthorityInfoAccess];
    if (aia.pointer && DecodeExtensionValue(aia, kExtAuthorityInfoAccess, &flags, &values, &critical) ==
                           kExtensionValueDecoded) {
        const ByteBuffer& location = values.slots[0];
        // A location that would not fit the record leaves the configured URL.
        if (location.pointer && location.length > 0 && location.length < DUNMERE_URL_SIZE &&
            std::memchr(location.pointer, '\0', location.length) == nullptr) {
            std::memset(url, 0, sizeof url);
            std::memcpy(url, location.pointer, location.length);
            result = 0;
        }
    }
    FreeItems(values.slots, kExtensionValueSlots);
    return result;
}

// Mode 1: the URL listed for the certificate's hash.
int LocateFromResponderList(OCSPData* record, const unsigned char* der, std::uint32_t length)
{
    std::uint32_t hashes = 0, urls = 0;
    if (!record->requestSets || CountDataItems(record->requestSets, kSlotLocationHashes, &hashes) != kDataSetsOk ||
        CountDataItems(record->requestSets, kSlotLocationURLs, &urls) != kDataSetsOk || hashes == 0 || urls == 0) {
        record->errorCode = OCSP_ERR_DATA_SETS_READ;
        return 1;
    }
    unsigned char digest[20];
    if (Sha1Digest(der, length, digest)) {
        for (std::uint32_t n = 1; n <= hashes && n <= urls; ++n) {
            const unsigned char* hash = nullptr;
            const unsigned char* url = nullptr;
            std::size_t hashLength = 0, urlLength = 0;
            if (GetDataItem(record->requestSets, kSlotLocationHashes, n, &hash, &hashLength) != kDataSetsOk ||
                GetDataItem(record->requestSets, kSlotLocationURLs, n, &url, &urlLength) != kDataSetsOk)
                break;
            const std::size_t textLength = strnlen(reinterpret_cast<const char*>(url), urlLength);
            if (hashLength == sizeof digest && std::memcmp(hash, digest, sizeof digest) == 0 && textLength > 0 &&
                textLength < DUNMERE_URL_SIZE) {
                std::memset(record->responderURL, 0, sizeof record->responderURL);
                std::memcpy(record->responderURL, url, textLength);
                return 0;
            }
        }
    }
    return record->responderURL[0] != '\0' ? 0 : 1;
}

}  // namespace

extern "C" int _SetOCSPTarget(const unsigned char* der, std::uint32_t length, OCSPData* record)
{
    if (!record || !record->requestSets || !der || length == 0) return -1;
    return ReadTargetCertificate(der, length, record->requestSets) != 0 ? 0 : -1;
}

extern "C" int _SetOCSPIssuer(const unsigned char* der, std::uint32_t length, OCSPData* record)
{
    if (!record || !record->requestSets || !der || length == 0) return -1;
    return ReadIssuerCertificate(der, length, record->requestSets) != 0 ? 0 : -1;
}

extern "C" int _SetResponderURL(const unsigned char* der, std::uint32_t length, OCSPData* record)
{
    if (!record) return 1;
    return ReadOcspLocation(der, length, record->responderURL);
}

extern "C" int _SetResponderLocation(OCSPData* record, const unsigned char* hashedDer, std::uint32_t hashedLength,
                                     const unsigned char* certificateDer, std::uint32_t certificateLength)
{
    if (!record) return 1;
    // Mode 2 reads the location of the certificate; mode 1 looks the first
    // certificate's hash up in the responder list.
    if (record->locationMode & 2) {
        switch (_SetResponderURL(certificateDer, certificateLength, record)) {
        case 0:
            return 0;
        case 1:
            record->errorCode = OCSP_ERR_RESPONDER_CERT;
            return 1;
        default:
            break;
        }
    }
    if (record->locationMode & 1) return LocateFromResponderList(record, hashedDer, hashedLength);
    return 1;
}
