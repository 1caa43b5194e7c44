#include "signer/Unit_ttavomir.h"

#include <algorithm>
#include <cctype>

#include "core/text/hex_text.h"
#include "signer/settings.h"

const char* const kNullMarker = "NULL";

bool IsNullOrEmpty(const std::string& field)
{
    return field.empty() || field == kNullMarker;
}

namespace {

const char* const kBadFormat = "1\r\nNo se especificó un formato correcto";
const char* const kBadOperation = "1\r\nNo se especificó una operación correcta";

}  // namespace

TTavomir::TTavomir()
{
    Clear();
}

TTavomir::~TTavomir()
{
    Clear();
}

void TTavomir::Clear()
{
    Operation.clear();
    Format.clear();
    FileInputOne.clear();
    FileOutputOne.clear();
    FileInputTwo.clear();
    FileOutputTwo.clear();
    ResponseFile.clear();
    TypeOne.clear();
    TypeTwo.clear();
    ACFile.clear();
    CRLFile.clear();
    Message.clear();
    OCSPFileOne.clear();
    OCSPFileTwo.clear();
    // FileCert keeps its text, and with it what became of it at the interface.
    inexactNames_.erase(std::remove_if(inexactNames_.begin(), inexactNames_.end(),
                                       [](Field field) { return field != &TTavomir::FileCert; }),
                        inexactNames_.end());
}

void TTavomir::SetResult(const std::string& text)
{
    Message = text;
}

bool TTavomir::Execute()
{
    const std::string format = UpperCaseAscii(Format);
    bool matched = false;

    if (Operation == "F") {
        matched = true;
        if (format == "RSA") {
            if (!SignRSA()) return false;
        } else if (format == "PKCS" || format == "PKCSD") {
            if (!SignPKCS7()) return false;
        } else {
            SetResult(kBadFormat);
            return false;
        }
    }
    if (Operation == "FE") {
        matched = true;
        if (format != "PKCS") {
            SetResult(kBadFormat);
            return false;
        }
        if (!SignPKCS7()) return false;
    }

    struct Route {
        const char* code;
        bool (TTavomir::*handler)();
    };
    static const Route routes[] = {
        {"A", &TTavomir::OpenSecured},       {"ARSA", &TTavomir::VerifyRSA},
        {"T", &TTavomir::TimeStamp},         {"V", &TTavomir::VerifyTimeStamp},
        {"OCSP", &TTavomir::CheckOCSPResponse}, {"AV", &TTavomir::VerifyDetached},
    };
    for (const Route& route : routes) {
        if (Operation != route.code) continue;
        matched = true;
        if (!(this->*route.handler)()) return false;
    }

    // An unknown code would otherwise leave a previous success in Message.
    if (!matched) {
        SetResult(kBadOperation);
        return false;
    }
    return true;
}

void TTavomir::LoadSettings()
{
    TSettingsKey key;
    struct Pair {
        const char* flag;
        const char* text;
        std::string TTavomir::*field;
    };
    static const Pair pairs[] = {
        {setting::UseCA, setting::CAFile, &TTavomir::ACFile},
        {setting::UseCRL, setting::CRLFile, &TTavomir::CRLFile},
        {setting::UseOCSP, setting::OCSPUrl, &TTavomir::URLOCSP},
        {setting::UseTSP, setting::TSPUrl, &TTavomir::URLTSP},
    };
    bool on[4];
    for (int i = 0; i < 4; ++i) on[i] = key.ReadSwitch(pairs[i].flag);
    for (int i = 0; i < 4; ++i)
        this->*pairs[i].field = on[i] ? key.ReadTextOrEmpty(pairs[i].text) : std::string();
}
