// The identifiers of the type library TavomirCOM, its interface ITavomir and
// its class Tavomir. ITavomir itself is declared by the header widl makes
// from TavomirCOM.idl.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include "TavomirCOM_idl.h"

namespace tavomir_tlb {
constexpr WORD kMajorVersion = 1;
constexpr WORD kMinorVersion = 0;
constexpr LCID kLocale = 0x0409;
constexpr const char* kProgId = "TavomirCOM.Tavomir";
}  // namespace tavomir_tlb
