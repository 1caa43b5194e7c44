// Operations not built yet answer with a failure text of their own.
#include "signer/Unit_ttavomir.h"

namespace {
bool NotAvailable(TTavomir& engine)
{
    engine.SetResult("1\r\nLa operación solicitada no está disponible en esta versión");
    return false;
}
}  // namespace

bool TTavomir::TimeStamp() { return NotAvailable(*this); }
bool TTavomir::VerifyTimeStamp() { return NotAvailable(*this); }
