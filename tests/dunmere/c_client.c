/* A plain C caller of Dunmere: binds the exports by name through the
   exported header alone and checks the setters' edge cases and the texts.
   Exit code 0 when every check holds. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ocsp/Dunmere.h"
#include "tests/support/c_check.h"

static void CheckFreshRecord(void)
{
    OCSPData record;
    int32_t status = 0;
    memset(&record, 0x5A, sizeof record);
    CHECK(_InitOCSPData(&record) == 0);
    CHECK(record.requestSets != NULL && record.userSets != NULL);
    CHECK(record.locationMode == 2 && record.skipTimeCheck == 1 && record.useNonce == 1 && record.signRequest == 0);
    CHECK(record.responderURL[0] == '\0' && record.responderURL[511] == '\0');
    CHECK(record.responseStatus == 255 && record.errorCode == 0 && record.cryptoLibrary == 0);
    CHECK(record.responderOptions == 0 && record.revocationOptions == 0);
    /* Nothing decoded: the status is bad, never good. */
    CHECK(_GetOCSPStatus(&record, &status) == 1);
    CHECK(status == 170);
    CHECK(_GetOCSPError(&record) == 0x800000u);
    CHECK(_DestroyOCSPData(&record) == 0);
}

static void CheckSetOCSPClient(void)
{
    static const struct {
        int mode, skip, nonce, sign, length;
        int result;
    } cases[] = {
        {3, 1, 1, 0, 10, -1}, {-1, 1, 1, 0, 10, -1}, {2, 2, 1, 0, 10, -1}, {2, 1, -1, 0, 10, -1},
        {2, 1, 1, 2, 10, -1}, {0, 1, 1, 0, 512, 1},  {2, 1, 1, 0, -1, 1},  {2, 1, 1, 0, 511, 0},
    };
    char url[600];
    OCSPData record;
    size_t i;
    memset(url, 'a', sizeof url);
    memcpy(url, "http://", 7);
    CHECK(_InitOCSPData(&record) == 0);
    strcpy(record.responderURL, "http://kept/");
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        int result = _SetOCSPClient(cases[i].mode, cases[i].skip, cases[i].nonce, cases[i].sign, url,
                                    cases[i].length, "000500", &record, 0, 0);
        if (result != cases[i].result) printf("case %u: %d\n", (unsigned)i, result);
        CHECK(result == cases[i].result);
        if (cases[i].result != 0) CHECK(strcmp(record.responderURL, "http://kept/") == 0);
    }
    /* 511 characters kept whole and terminated. */
    CHECK(strlen(record.responderURL) == 511 && memcmp(record.responderURL, url, 511) == 0);
    /* Absent URL outside mode 1. */
    CHECK(_SetOCSPClient(2, 1, 1, 0, NULL, 0, NULL, &record, 0, 0) == 1);
    /* A shorter URL than its length: the rest is zero. */
    CHECK(_SetOCSPClient(2, 1, 1, 0, "http://h/", 20, NULL, &record, 0, 0) == 0);
    CHECK(strcmp(record.responderURL, "http://h/") == 0);
    {
        char* copy = _GetResponderURLString(&record);
        CHECK(copy != NULL && strcmp(copy, "http://h/") == 0);
        _DeleteURL(copy);
    }
    /* The tolerance only when the time is checked. */
    memcpy(record.timeTolerance, "999999", 6);
    CHECK(_SetOCSPClient(2, 1, 1, 0, "http://h/", 9, "000500", &record, 0, 0) == 0);
    CHECK(memcmp(record.timeTolerance, "999999", 6) == 0);
    CHECK(_SetOCSPClient(2, 0, 1, 0, "http://h/", 9, "000500", &record, 7, 9) == 0);
    CHECK(memcmp(record.timeTolerance, "000500", 6) == 0);
    CHECK(record.skipTimeCheck == 0 && record.responderOptions == 7 && record.revocationOptions == 9);
    /* It also clears the status and the error. */
    record.errorCode = 0x40;
    record.responseStatus = 4;
    CHECK(_SetOCSPClient(2, 1, 1, 0, "http://h/", 9, NULL, &record, 0, 0) == 0);
    CHECK(record.errorCode == 0 && record.responseStatus == 255);
    CHECK(_DestroyOCSPData(&record) == 0);
}

static void CheckSmallSetters(void)
{
    OCSPData record;
    ByteBuffer request = {NULL, 0}, response = {NULL, 0};
    unsigned char* pointer = NULL;
    uint32_t length = 0;
    unsigned char byte = 0x30;
    CHECK(_InitOCSPData(&record) == 0);
    CHECK(_SetCryptographicLibrary(&record, 3) == -1 && record.cryptoLibrary == 0);
    CHECK(_SetCryptographicLibrary(&record, 0) == -1);
    CHECK(_SetCryptographicLibrary(&record, 2) == 0 && record.cryptoLibrary == 2);
    CHECK(_SetResponderLocation(&record, NULL, 0, NULL, 0) == 1);
    record.locationMode = 0;
    CHECK(_SetResponderLocation(&record, &byte, 1, &byte, 1) == 1);
    CHECK(_SetOCSPResponse(&byte, 0, &response) == 1);
    CHECK(_SetOCSPResponse(NULL, 1, &response) == 1);
    CHECK(_SetOCSPResponse(&byte, 1, &response) == 0 && response.pointer == &byte && response.length == 1);
    CHECK(_BufferOCSPRequest(&pointer, &length, &request) == 1);
    /* Nothing to ask about. */
    CHECK(_EncodeOCSPRequest(&record, &request) == 1 && request.pointer == NULL);
    CHECK(_GetOCSPError(&record) == 0x8u);
    /* A nonce without a library to make it. */
    record.cryptoLibrary = 0;
    CHECK(_EncodeOCSPRequest(&record, &request) == 1 && _GetOCSPError(&record) == 0x8000000u);
    CHECK(_SetOCSPTarget(&byte, 1, &record) == -1);
    CHECK(_SetOCSPIssuer(&byte, 1, &record) == -1);
    CHECK(_SetResponderURL(&byte, 1, &record) == 1);
    CHECK(_SetOCSPUserPassword(&record, "secret", 6) == 0);
    CHECK(_SetOCSPUserCertificate(&record, &byte, 1) == 0);
    CHECK(_SetOCSPUserPrivateKey(&record, &byte, 1) == 0);
    _DestroyOCSPRequest(&request);
    CHECK(_DestroyOCSPData(&record) == 0);
}

static void CheckRevocationDateWithoutDecode(void)
{
    OCSPData record;
    char* date;
    CHECK(_InitOCSPData(&record) == 0);
    date = _GetRevocationDate(&record);
    CHECK(date == NULL);
    CHECK(_GetOCSPError(&record) == 0x200000u);
    _DeleteRevocationDate(date);
    CHECK(_DestroyOCSPData(&record) == 0);
}

static void CheckTexts(void)
{
    static const struct {
        uint32_t code;
        const char* text;
    } errors[] = {
        {0, "Error: an unidentified error ocurred\n"},
        {3, "Error: an unidentified error ocurred\n"},
        {0x10, "Error: openning OCSP socket\n"},
        {0x20, "Error: sendig OSCP request\n"},
        {0x4, "Error: reading target certificates \n"},
        {0x8000, "Error: OCSP responder certificate not issued by the target's issuer CA"},
        {0x400000, "Error: no error ocurred\n"},
        {0x40000000, "Error: responder certificate revoked or unable to check\n"},
    };
    static const struct {
        uint32_t status;
        const char* text;
    } statuses[] = {
        {16, "Client  not authorized to use this responder\n"}, {3, "An error ocurred\n"},
        {4, "Responder unable to attend, try later\n"},          {32, "Target certificate OK\n"},
        {170, "An error ocurred\n"},                             {255, "An error ocurred\n"},
        {0, "An error ocurred\n"},
    };
    char buffer[OCSP_ERROR_TEXT_SIZE];
    size_t i;
    OCSPData record;
    char* text;
    for (i = 0; i < sizeof errors / sizeof errors[0]; ++i) {
        CHECK(_GetOCSPErrorDescription2(errors[i].code, buffer) == buffer);
        if (strcmp(buffer, errors[i].text) != 0) printf("error 0x%x: %s", (unsigned)errors[i].code, buffer);
        CHECK(strcmp(buffer, errors[i].text) == 0);
    }
    /* The longest text fits the documented buffer. */
    for (i = 0; i < 31; ++i) CHECK(strlen(_GetOCSPErrorDescription2(1u << i, buffer)) < OCSP_ERROR_TEXT_SIZE);
    for (i = 0; i < sizeof statuses / sizeof statuses[0]; ++i) {
        char status[OCSP_STATUS_TEXT_SIZE];
        CHECK(strcmp(_GetOCSPStatusDescription(statuses[i].status, status), statuses[i].text) == 0);
    }
    CHECK(_InitOCSPData(&record) == 0);
    text = _GetOCSPErrorDescription(&record);
    CHECK(text != NULL && strcmp(text, "Error: an unidentified error ocurred\n") == 0);
    _DeleteOCSPErrorDescription(text);
    record.errorCode = 0x8000;
    text = _GetOCSPErrorDescription(&record);
    CHECK(text != NULL && strcmp(text, "Error: OCSP responder certificate not issued by the target's issuer CA") == 0);
    _DeleteOCSPErrorDescription(text);
    CHECK(_DestroyOCSPData(&record) == 0);
}

int main(void)
{
    CheckFreshRecord();
    CheckSetOCSPClient();
    CheckSmallSetters();
    CheckRevocationDateWithoutDecode();
    CheckTexts();
    printf("%s (%d failures)\n", c_check_failures ? "FAILED" : "PASSED", c_check_failures);
    return c_check_failures ? 1 : 0;
}
