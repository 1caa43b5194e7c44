// The text of a certificate serial number, shared by the certificate and the
// CRL side so that a certificate's serial is found in a revocation list.
#pragma once
#include <cstddef>
#include <string>

// True when the serial can be shown as its own characters: 20 or 21 bytes,
// every one printable ASCII (0x20-0x7E). Never true with a zero byte.
bool SerialIsPrintable(const unsigned char* bytes, std::size_t count);

// The serial as text, the same for the same bytes and different for
// different bytes, even when texts are compared without regard to case:
// - the bytes themselves as characters when SerialIsPrintable holds, no byte
//   is a lower-case letter and at least one byte is not a hexadecimal digit
//   (so the text cannot be read as the hexadecimal of another serial);
// - otherwise every byte as two lower-case hexadecimal digits ("%02x").
// bytes are the INTEGER's content as the decoders hand it out (one leading
// 0x00 dropped). No bytes give "".
std::string SerialNumberText(const unsigned char* bytes, std::size_t count);

// SerialNumberText of a serial stored least significant byte first, as the
// platform's certificates hold it (one leading 0x00 of the INTEGER dropped).
std::string SerialNumberTextReversed(const unsigned char* bytes, std::size_t count);
