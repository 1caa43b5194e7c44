// The console routines for trying the OCSP client by hand: file names asked
// on standard input, Spanish messages on standard output. They report
// failures by their results; only the program's main ends the process.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ocsp/Dunmere.h"

enum : std::size_t { kConsoleFileLimit = 6144 };

// Asks for target and issuer certificate files in pairs (at most ten
// targets) and sets them into the record; `issuer` gets the last issuer's
// DER. False when a file could not be opened or read as a certificate.
bool LoadTargetsFromConsole(OCSPData* record, std::vector<unsigned char>& issuer);

// Asks for the CA's and then the entity's certificate file, each read into
// its own buffer; both must read as certificates. Appends the CA's and then
// the entity's certificate to the requestor's (the last one signs) and
// hands out the entity's subject Name element. False, subject empty, when a
// file could not be loaded or read.
bool LoadRequestorFromConsole(OCSPData* record, std::vector<unsigned char>& subject);

// Prints the matched statuses of a decoded record, or the response status's
// text: 1 when printed, 0 when a status record could not be read.
int PrintResponseStatus(const OCSPData* record, std::uint32_t decodeError);

// Asks for a file name and writes the bytes to it: 1 written, 0 not.
int SaveMessageFromConsole(const unsigned char* data, std::size_t length);

// Asks for a file name and reads it whole, at most kConsoleFileLimit bytes:
// 1 read, 0 when it cannot be opened or read or is longer.
int LoadResponseFromConsole(std::vector<unsigned char>& response);
