// The check every operation makes of the files it names, before it reads or
// writes any: names that lost characters at the interface, inputs that are
// devices, and outputs that would replace an input or another output.
#include <algorithm>
#include <string>
#include <vector>

#include "signer/Unit_ttavomir.h"
#include "signer/files/file_identity.h"
#include "signer/files/output_file.h"

namespace {

const char* const kNoOutput = "1\r\nNo se especificó el archivo de salida";

struct TFileNameProperty {
    TTavomir::Field field;
    const char* name;
};

// The properties that carry file names, by their names at the interface.
const TFileNameProperty kFileNameProperties[] = {
    {&TTavomir::FileInputOne, "FileInputOne"}, {&TTavomir::FileOutputOne, "FileOutputOne"},
    {&TTavomir::FileInputTwo, "FileInputTwo"}, {&TTavomir::FileOutputTwo, "FileOutputTwo"},
    {&TTavomir::FileCert, "FileCert"},         {&TTavomir::OCSPFileOne, "OCSPFileOne"},
    {&TTavomir::OCSPFileTwo, "OCSPFileTwo"},
};

const char* PropertyName(TTavomir::Field field)
{
    for (const TFileNameProperty& property : kFileNameProperties)
        if (property.field == field) return property.name;
    return "";
}

}  // namespace

void TTavomir::MarkFileName(Field field, bool exact)
{
    inexactNames_.erase(std::remove(inexactNames_.begin(), inexactNames_.end(), field), inexactNames_.end());
    if (!exact) inexactNames_.push_back(field);
}

bool TTavomir::CheckFiles(const std::vector<Field>& inputs, const std::vector<Field>& outputs)
{
    for (const std::vector<Field>* fields : {&inputs, &outputs})
        for (Field field : *fields)
            if (std::find(inexactNames_.begin(), inexactNames_.end(), field) != inexactNames_.end()) {
                SetResult(std::string("1\r\nEl nombre de archivo en ") + PropertyName(field) +
                          " no se puede representar en la página de códigos del sistema");
                return false;
            }
    // Only inputs that are there can be lost; a missing one has its own text.
    std::vector<const std::string*> present;
    for (Field field : inputs) {
        const std::string& input = this->*field;
        if (IsNullOrEmpty(input)) continue;
        switch (KindOfPath(input)) {
        case PathKind::Other:
            // A device or a pipe may never answer a read.
            SetResult("1\r\nEl archivo de entrada no es un archivo regular: " + input);
            return false;
        case PathKind::RegularFile:
            present.push_back(&input);
            break;
        case PathKind::Missing:
        case PathKind::Folder:
            break;
        }
    }
    for (auto output = outputs.begin(); output != outputs.end(); ++output) {
        const std::string& name = this->*(*output);
        if (IsNullOrEmpty(name)) continue;
        bool clash = std::any_of(present.begin(), present.end(),
                                 [&](const std::string* input) { return NameOneFile(name, *input); });
        for (auto other = outputs.begin(); !clash && other != output; ++other)
            clash = !IsNullOrEmpty(this->*(*other)) && NameOneFile(name, this->*(*other));
        if (clash) {
            SetResult(std::string("1\r\n") + kOutputIsInputText);
            return false;
        }
    }
    return true;
}

bool TTavomir::RequireOutput(const std::string& output)
{
    if (!IsNullOrEmpty(output)) return true;
    SetResult(kNoOutput);
    return false;
}
