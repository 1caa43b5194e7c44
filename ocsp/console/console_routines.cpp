#include "ocsp/console/console_routines.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/datasets/datasets.h"
#include "core/text/text.h"
#include "ocsp/protocol/certificate_readers.h"

namespace {

enum : int { kMaxTargets = 10 };

// A name of at most `width` characters from standard input; "" at its end.
std::string AskName(const char* prompt, int width)
{
    std::printf("%s", prompt);
    std::fflush(stdout);
    char format[16];
    std::snprintf(format, sizeof format, "%%%ds", width);
    char name[256] = {};
    if (std::scanf(format, name) != 1) return "";
    return name;
}

// Reads the file whole (at most kConsoleFileLimit bytes); false, after the
// message, when it cannot be opened; a file that opened is read only then.
bool ReadConsoleFile(const std::string& name, std::vector<unsigned char>& bytes)
{
    std::FILE* file = name.empty() ? nullptr : std::fopen(name.c_str(), "rb");
    if (!file) {
        std::printf("\n No se puede abrir el archivo %s para lectura. \n", name.c_str());
        return false;
    }
    // One byte past the limit tells a file cut short from one read whole.
    bytes.resize(kConsoleFileLimit + 1);
    const std::size_t count = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool readable = !std::ferror(file);
    std::fclose(file);
    bytes.resize(readable && count <= kConsoleFileLimit ? count : 0);
    if (readable && count > kConsoleFileLimit) {
        std::printf("\n El archivo %s es demasiado grande. \n", name.c_str());
        return false;
    }
    return readable;
}

bool LoadCertificate(const char* prompt, int (*set)(const unsigned char*, std::uint32_t, OCSPData*),
                     OCSPData* record, std::vector<unsigned char>& der)
{
    const std::string name = AskName(prompt, 24);
    if (!ReadConsoleFile(name, der)) return false;
    if (set(der.data(), static_cast<std::uint32_t>(der.size()), record) != 0) {
        std::printf("/n Error al decodificar el certificado en %s \n", name.c_str());
        return false;
    }
    return true;
}

// One file of the requestor's certification path, asked for and read whole.
bool LoadPathFile(const char* prompt, std::string& name, std::vector<unsigned char>& der)
{
    name = AskName(prompt, 24);
    if (ReadConsoleFile(name, der) && !der.empty()) return true;
    std::printf("Error al cargar certificado del archivo %s . \n", name.c_str());
    return false;
}

// The subject Name element of a certificate; false, after the message, when
// the bytes do not read as one.
bool ReadSubject(const std::string& name, const std::vector<unsigned char>& der, std::vector<unsigned char>& subject)
{
    ByteBuffer copy = {nullptr, 0};
    if (!ReadCertificateSubject(der.data(), der.size(), &copy)) {
        std::printf("Error al decodificar el certificado del archivo %s . \n", name.c_str());
        return false;
    }
    subject.assign(copy.pointer, copy.pointer + copy.length);
    FreeItems(&copy, 1);
    return true;
}

// The raw response status back from the record's mapped value.
int RawResponseStatus(std::uint32_t mapped)
{
    switch (mapped) {
    case OCSP_RESPONSE_SUCCESSFUL:
        return 0;
    case OCSP_RESPONSE_MALFORMED:
        return 1;
    case OCSP_RESPONSE_INTERNAL_ERROR:
        return 2;
    case OCSP_RESPONSE_TRY_LATER:
        return 3;
    case OCSP_RESPONSE_SIG_REQUIRED:
        return 5;
    case OCSP_RESPONSE_UNAUTHORIZED:
        return 6;
    default:
        return -1;
    }
}

bool ReadItemText(const DataSets* sets, std::uint32_t slot, std::uint32_t number, std::string& text)
{
    const unsigned char* data = nullptr;
    std::size_t length = 0;
    if (GetDataItem(sets, slot, number, &data, &length) != kDataSetsOk) return false;
    text.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), length));
    return true;
}

const char kDottedLine[] = " \n\n .......................... \n";

}  // namespace

bool LoadTargetsFromConsole(OCSPData* record, std::vector<unsigned char>& issuer)
{
    for (int targets = 0;;) {
        std::vector<unsigned char> target;
        if (!LoadCertificate("Nombre del archivo con el certificado por verificar con OCSP: ", _SetOCSPTarget, record,
                             target))
            return false;
        if (!LoadCertificate("Nombre del archivo con el certificado de la AC emisora: ", _SetOCSPIssuer, record,
                             issuer))
            return false;
        if (++targets == kMaxTargets) {
            std::printf("Numero maximo de certificados excedido \n");
            std::printf("Se armara la peticion OCSP con los certificados incluidos \n");
            return true;
        }
        std::printf("Incluir otro certificado en la peticion OCSP? (s/n): ");
        std::fflush(stdout);
        char answer = 'n';
        if (std::scanf(" %c", &answer) != 1 || answer == 'n') return true;
    }
}

bool LoadRequestorFromConsole(OCSPData* record, std::vector<unsigned char>& subject)
{
    subject.clear();
    // Each file in a buffer of its own: the CA's is not lost to the entity's.
    std::string caName, entityName;
    std::vector<unsigned char> ca, entity, caSubject;
    if (!LoadPathFile("Nombre del archivo con el certificado de la AC emisora: ", caName, ca) ||
        !LoadPathFile("Nombre del archivo con el certificado de la entidad: ", entityName, entity))
        return false;
    std::printf("Ruta de Certificacion cargada \n");
    if (!ReadSubject(caName, ca, caSubject) || !ReadSubject(entityName, entity, subject)) {
        subject.clear();
        return false;
    }
    // The certification path, the entity last: the request's signer.
    if (_SetOCSPUserCertificate(record, ca.data(), static_cast<std::uint32_t>(ca.size())) != 0 ||
        _SetOCSPUserCertificate(record, entity.data(), static_cast<std::uint32_t>(entity.size())) != 0) {
        subject.clear();
        return false;
    }
    return true;
}

int PrintResponseStatus(const OCSPData* record, std::uint32_t decodeError)
{
    const int raw = RawResponseStatus(record->responseStatus);
    if (raw == 0) {
        if (decodeError == OCSP_ERR_STATUS_NOT_FOUND) {
            std::printf("Error en la respuesta OCSP, no contiene el estatus solicitado \n");
        } else if (decodeError == OCSP_ERR_THIS_UPDATE) {
            std::printf("\tError en la respuesta OCSP, respuesta vencida \n");
        } else if (decodeError != 0) {
            char text[OCSP_ERROR_TEXT_SIZE];
            std::printf("%s", _GetOCSPErrorDescription2(decodeError, text));
        } else {
            std::uint32_t count = 0;
            if (CountDataItems(record->requestSets, 5, &count) != kDataSetsOk) return 0;
            for (std::uint32_t n = 1; n <= count; ++n) {
                std::string digit, revoked;
                if (!ReadItemText(record->requestSets, 5, n, digit) ||
                    !ReadItemText(record->requestSets, 8, n, revoked))
                    return 0;
                if (digit == "0") {
                    std::printf("Estatus de Revocacion: OK \n");
                } else if (digit == "1") {
                    std::printf("Estatus de Revocacion: REVOCADO \n ");
                    std::printf("Fecha de revocacion: %s\n", revoked.c_str());
                } else {
                    std::printf("Estatus de Revocacion: DESCONOCIDO \n");
                }
            }
        }
        std::printf("%s", kDottedLine);
        return 1;
    }
    switch (raw) {
    case 1:
        std::printf("Peticion mal codificada. \n");
        break;
    case 2:
        std::printf("Error interno en el servidor. \n");
        break;
    case 3:
        std::printf("Intente despues. \n");
        break;
    case 5:
        std::printf("La peticion debe ir firmada. \n");
        break;
    case 6:
        std::printf("Cliente no autorizado. \n");
        break;
    default:
        std::printf("%s", kDottedLine);
        return 0;
    }
    std::printf("%s", kDottedLine);
    return 1;
}

int SaveMessageFromConsole(const unsigned char* data, std::size_t length)
{
    const std::string name = AskName("Nombre del archivo donde se escribira el mensaje OCSP: ", 254);
    std::FILE* file = name.empty() ? nullptr : std::fopen(name.c_str(), "wb");
    if (!file) {
        std::printf("\n No se puede abrir el archivo %s para escritura. \n", name.c_str());
        return 0;
    }
    bool written = std::fwrite(data, 1, length, file) == length;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::remove(name.c_str());
        std::printf("\n No se puede abrir el archivo %s para escritura. \n", name.c_str());
        return 0;
    }
    return 1;
}

int LoadResponseFromConsole(std::vector<unsigned char>& response)
{
    const std::string name = AskName("Nombre del archivo donde se encuentra la respuesta: ", 254);
    return ReadConsoleFile(name, response) ? 1 : 0;
}
