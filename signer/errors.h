// The signing component's one exception tree: failures inside the component
// are thrown as these and turned into COM error information at the interface.
#pragma once
#include <stdexcept>
#include <string>

class ETavomirError : public std::runtime_error {
public:
    explicit ETavomirError(const std::string& message) : std::runtime_error(message) {}
};

// A registry value of the wrong type or size.
class ERegistryReadError : public ETavomirError {
public:
    using ETavomirError::ETavomirError;
};

// A file that cannot be opened or created.
class EFileOpenError : public ETavomirError {
public:
    using ETavomirError::ETavomirError;
};
