// ocsp_console [URL]: asks for the certificates to check, builds the OCSP
// request and either exchanges it with the responder at URL or saves it and
// reads the answer from a file; then prints the statuses.
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ocsp/Dunmere.h"
#include "ocsp/console/console_routines.h"

namespace {

// The record, destroyed however the program ends its work.
struct TConsoleRecord {
    OCSPData data = {};
    bool ready = _InitOCSPData(&data) == 0;
    ~TConsoleRecord()
    {
        if (ready) _DestroyOCSPData(&data);
    }
};

void PrintLibraryError(const OCSPData& record)
{
    char text[OCSP_ERROR_TEXT_SIZE];
    std::printf("%s", _GetOCSPErrorDescription2(record.errorCode, text));
}

int Run(int argc, char** argv)
{
    TConsoleRecord record;
    if (!record.ready || _SetCryptographicLibrary(&record.data, OCSP_LIB_OWN) != 0) return 2;
    if (argc > 1 && _SetOCSPClient(2, 1, 1, 0, argv[1], static_cast<int>(std::strlen(argv[1])), nullptr,
                                   &record.data, 0, 0) != 0) {
        std::printf("URL no valida\n");
        return 2;
    }
    std::vector<unsigned char> issuer;
    if (!LoadTargetsFromConsole(&record.data, issuer)) {
        std::printf("Error al cargar los datos, el programa terminara");
        return 1;
    }
    ByteBuffer request = {nullptr, 0};
    if (_EncodeOCSPRequest(&record.data, &request) != 0) {
        PrintLibraryError(record.data);
        return 2;
    }
    ByteBuffer response = {nullptr, 0};
    std::vector<unsigned char> stored;
    int exchanged = 0;
    if (argc > 1) {
        exchanged = _ExecuteOCSPTransaction(&request, &response, &record.data);
        _DestroyOCSPRequest(&request);
        if (exchanged != 0) {
            PrintLibraryError(record.data);
            return 2;
        }
    } else {
        const int saved = SaveMessageFromConsole(request.pointer, request.length);
        _DestroyOCSPRequest(&request);
        if (!saved || !LoadResponseFromConsole(stored) || stored.empty()) return 2;
        _SetOCSPResponse(stored.data(), static_cast<std::uint32_t>(stored.size()), &response);
    }
    const bool decoded = _DecodeOCSPResponse(&response, &record.data, issuer.data(),
                                             static_cast<std::uint32_t>(issuer.size())) == 0;
    if (argc > 1) _DestroyOCSPResponse(&response);
    return PrintResponseStatus(&record.data, decoded ? 0 : record.data.errorCode) == 1 && decoded ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
