#include "signer/Unit_config.h"

TForm1::TForm1(void* /*owner*/) : form_("Tavomir - Configuración", 363, 343, "MS Sans Serif") {}

TForm1::~TForm1() = default;
