// Texts handed to callers as their own copies, from the C runtime's heap
// that every deliverable shares, so the caller releases them with free().
#include "tsp/api/texts.h"

#include <cstring>

#include "core/der/bytes.h"
#include "tsp/Halvery.h"

namespace {

struct CodeText {
    std::uint32_t code;
    const char* text;
};

// Spelt as callers have always received them.
const CodeText kErrorTexts[] = {
    {TSP_ERR_NONCE_GENERATION, "Unable to generate random nonce"},
    {TSP_ERR_MEMORY, "Unable to allocate memory"},
    {TSP_ERR_ENCODING_REQUEST, "Error encoding TSP request"},
    {TSP_ERR_SOCKET, "Error opening socket to Timestamp server"},
    {TSP_ERR_SEND, "Error sending request"},
    {TSP_ERR_RECEIVE, "Error receiving response"},
    {TSP_ERR_HTTP_HEADER, "Wrong HTTP header in response"},
    {TSP_ERR_CONTENT_TYPE, "Wrong HTTP MIME content type in response"},
    {TSP_ERR_DECODING_RESPONSE, "Error decoding TSP response"},
    {TSP_ERR_TOKEN_MISSING, "Expected timesatmp missing"},
    {TSP_ERR_SIGNATURE, "Invalid signature in response"},
    {TSP_ERR_CONTENT_OID, "Invalid OID in response"},
    {TSP_ERR_NOT_AUTHORIZED, "Server certificate not authorized to sign timestamps"},
    {TSP_ERR_DECODING_ECONTENT, "Error decoding eContent field"},
    {TSP_ERR_HASH_ALGORITHM, "Hash algorithms in request and response do not match"},
    {TSP_ERR_HASH_MISMATCH, "Hash in timestamp does not match original"},
    {TSP_ERR_TIME_WINDOW, "Timestamp date out of allowed interval"},
    {TSP_ERR_NONCE_MISSING, "Expected nonce in response missing"},
    {TSP_ERR_NONCE_MISMATCH, "Nonce in response does not match original"},
    {TSP_ERR_URL, "Error parsing Server URL"},
    {TSP_ERR_DECODING_TOKEN, "Error decoding timestamp"},
    {TSP_ERR_UNKNOWN_STATUS, "Unknown PKIStatus"},
    {TSP_ERR_UNKNOWN_FAILURE_INFO, "Unknown PKIFailureInfo"},
    {TSP_ERR_REJECTED, "TSP request rejected"},
    {TSP_ERR_SERVER_CERTIFICATE, "Invalid server certificate"},
};

const CodeText kStatusTexts[] = {
    {TSP_STATUS_REJECTION, "Request rejected"},
    {TSP_STATUS_WAITING, "Response pending, try later"},
    {TSP_STATUS_REVOCATION_WARNING, "TSA certificate revocation warning"},
    {TSP_STATUS_REVOCATION_NOTIFICATION, "TSA certificate has been revoked"},
};

const CodeText kFailureTexts[] = {
    {TSP_FAILURE_BAD_ALG, "unrecognized or unsupported Algorithm Identifier"},
    {TSP_FAILURE_BAD_REQUEST, "transaction not permitted or supported"},
    {TSP_FAILURE_BAD_DATA_FORMAT, "the data submitted has the wrong format"},
    {TSP_FAILURE_TIME_NOT_AVAILABLE, "the TSA's time source is not available"},
    {TSP_FAILURE_UNACCEPTED_POLICY, "the requested TSA policy is not supported by the server"},
    {TSP_FAILURE_UNACCEPTED_EXTENSION, "the requested extension is not supported by the server"},
    {TSP_FAILURE_ADD_INFO_NOT_AVAILABLE, "the additional information requested could not be understood"},
    {TSP_FAILURE_SYSTEM_FAILURE, "the request cannot be handled due to system failure"},
};

template <std::size_t N>
const char* Find(const CodeText (&table)[N], std::uint32_t code, const char* otherwise)
{
    for (const CodeText& entry : table)
        if (entry.code == code) return entry.text;
    return otherwise;
}

char* CopyText(const char* text) { return reinterpret_cast<char*>(CopyToCString(text, std::strlen(text))); }

}  // namespace

const char* TspErrorText(std::uint32_t code) { return Find(kErrorTexts, code, "Unidentified error code"); }

const char* TspStatusText(std::int32_t status)
{
    return status < 0 ? "Unidentified PKIStatus code"
                      : Find(kStatusTexts, static_cast<std::uint32_t>(status), "Unidentified PKIStatus code");
}

const char* TspFailureText(std::int32_t code)
{
    return code < 0 ? "Unidentified PKIFailureInfo code"
                    : Find(kFailureTexts, static_cast<std::uint32_t>(code), "Unidentified PKIFailureInfo code");
}

extern "C" char* _GetTSPErrorDescription(std::uint32_t code) { return CopyText(TspErrorText(code)); }

extern "C" char* _GetTSPResponseFailureInfoDescription(const TSPData* record)
{
    return CopyText(TspFailureText(record ? record->failureInfo : 0));
}

extern "C" char* _GetTSPResponseStatusDescription(const TSPData* record)
{
    return CopyText(TspStatusText(record ? record->pkiStatus : -1));
}
