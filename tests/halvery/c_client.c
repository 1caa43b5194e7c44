/* A plain C caller of Halvery: binds the 23 exports by name through the
   exported header alone and makes one whole time stamp against the TSA
   whose URL it is given, then reads the token back. Exit code 0 when every
   check holds.  halvery_c_client URL CA_CERTIFICATE_DER */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tsp/Halvery.h"
#include "tests/support/c_check.h"

static ByteBuffer ReadWhole(const char* path)
{
    ByteBuffer data = {NULL, 0};
    FILE* f = fopen(path, "rb");
    long size;
    if (!f) return data;
    if (fseek(f, 0, SEEK_END) == 0 && (size = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0) {
        data.pointer = (unsigned char*)malloc((size_t)size);
        if (data.pointer && fread(data.pointer, 1, (size_t)size, f) == (size_t)size) data.length = (size_t)size;
    }
    fclose(f);
    return data;
}

/* The texts are the caller's to release, from the shared C runtime. */
static int TextIs(char* text, const char* expected)
{
    int same = text != NULL && strcmp(text, expected) == 0;
    if (!same) printf("text \"%s\", expected \"%s\"\n", text ? text : "(null)", expected);
    free(text);
    return same;
}

static void StampAndReadBack(const char* url, ByteBuffer ca)
{
    static const unsigned char data[] = "stamped from C";
    TSPData record;
    ByteBuffer request = {NULL, 0}, response = {NULL, 0}, token = {NULL, 0};
    ByteBuffer genTime, serial, hashed, certificate, subject, issuer;
    uint32_t error = 0;
    int size;

    CHECK(_InitTSPData(&record) == 0);
    CHECK(_SetTimeStampData(&record, data, sizeof data - 1) == 0);
    CHECK(record.hashLength == 20);
    CHECK(_SetNonce(&record) == 0);
    CHECK(_SetTSPServerURL(&record, url) == 0);
    CHECK(_SetTSPDelay(&record, "000500") == 0);
    CHECK(_EncodeTSPRequest(&record, &request) == 0);
    CHECK(_TSPTransactionHTTP(&request, &response, &record) == 0);
    _DestroyTSPRequest(&request);
    CHECK(_DecodeTSPResponse(&record, &response, &ca) == 0);
    _DestroyTSPResponse(&response);
    if (_GetTSPErrorCode(&record) != 0) {
        char* text = _GetTSPErrorDescription(_GetTSPErrorCode(&record));
        printf("error: %s\n", text ? text : "(null)");
        free(text);
    }
    CHECK(_TimeStampGranted(&record) == 1);
    CHECK(_GetTSPResponseStatus(&record) == TSP_STATUS_GRANTED);
    CHECK(_GetTSPResponseFailureInfo(&record) == -1);
    CHECK(TextIs(_GetTSPResponseStatusDescription(&record), "Unidentified PKIStatus code"));
    CHECK(TextIs(_GetTSPResponseFailureInfoDescription(&record), "Unidentified PKIFailureInfo code"));
    size = _GetTimeStampSize(&record);
    CHECK(size > 0);
    if (size > 0) {
        token.pointer = (unsigned char*)malloc((size_t)size);
        token.length = (size_t)size;
        CHECK(token.pointer != NULL && _CopyTimeStamp(&record, token.pointer) == 0);
    }
    CHECK(_DestroyTSPData(&record) == 0);
    CHECK(record.hash == NULL && record.nonce == NULL && record.token == NULL);

    if (token.pointer) {
        CHECK(_GetTimeStampData(&token, &genTime, &serial, &hashed, &certificate, &subject, &issuer, &error) == 0);
        CHECK(error == 0);
        if (error == 0) {
            CHECK(genTime.length >= 15 && genTime.pointer[genTime.length - 1] == 'Z');
            CHECK(serial.length > 0 && hashed.length == 20 && certificate.length > 0);
            CHECK(subject.length == 16 && memcmp(subject.pointer, "Tavomir Test TSA", 16) == 0);
            CHECK(issuer.length == 15 && memcmp(issuer.pointer, "Tavomir Test CA", 15) == 0);
            free(genTime.pointer);
            free(serial.pointer);
            free(hashed.pointer);
            free(certificate.pointer);
            free(subject.pointer);
            free(issuer.pointer);
        }
        free(token.pointer);
    }
}

static void RecordWithCallersHash(void)
{
    unsigned char hash[20] = {0x5A};
    TSPData record;
    CHECK(_InitTSPData(&record) == 0);
    CHECK(_SetTimeStampHash(&record, hash, sizeof hash) == 0);
    CHECK(_SetNonce(&record) == 0);
    CHECK(_DestroyTSPData2(&record) == 0);
    CHECK(record.hash == hash && record.nonce == NULL);
    CHECK(TextIs(_GetTSPErrorDescription(TSP_ERR_TOKEN_MISSING), "Expected timesatmp missing"));
    CHECK(TextIs(_GetTSPErrorDescription(0), "Unidentified error code"));
}

int main(int argc, char** argv)
{
    ByteBuffer ca;
    if (argc != 3) {
        printf("usage: halvery_c_client URL CA_CERTIFICATE_DER\n");
        return 2;
    }
    ca = ReadWhole(argv[2]);
    CHECK(ca.length > 0);
    StampAndReadBack(argv[1], ca);
    RecordWithCallersHash();
    free(ca.pointer);
    if (c_check_failures) printf("%d checks failed\n", c_check_failures);
    return c_check_failures ? 1 : 0;
}
