// What the component's two OCSP roads share over Dunmere's exports: one
// record a query or a stored answer's check, and the library's texts as the
// component shows them.
#pragma once
#include <cstdint>
#include <string>

#include "ocsp/Dunmere.h"
#include "signer/library_buffer.h"

// Dunmere's English texts end in a line feed (one in a blank); a result
// "1\r\n" + text does not, so the trailing line ends and blanks go.
std::string OcspLibraryText(const char* text);

// The text of an error bit, as the component shows it.
std::string OcspErrorText(std::uint32_t code);

// One record, destroyed on every path once initialised.
class TOcspRecord {
public:
    TOcspRecord() { initialised_ = _InitOCSPData(&record_) == 0; }
    ~TOcspRecord()
    {
        if (initialised_) _DestroyOCSPData(&record_);
    }
    TOcspRecord(const TOcspRecord&) = delete;
    TOcspRecord& operator=(const TOcspRecord&) = delete;
    bool Initialised() const { return initialised_; }
    OCSPData* Get() { return &record_; }

    // The text of the stored error bit.
    std::string ErrorText() const;
    // The matched status's revocation time; false with the error's text in
    // `text` when the library hands out none.
    bool RevocationDate(std::string& text);

private:
    OCSPData record_ = {};
    bool initialised_ = false;
};

using TOcspRequestBuffer = TLibraryBuffer<_DestroyOCSPRequest>;
using TOcspResponseBuffer = TLibraryBuffer<_DestroyOCSPResponse>;
