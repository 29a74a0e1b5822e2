#include "shell/Main.h"

// Not built yet.
void TTarvikUPSForm::BUT_LOADClick(TObject* /*Sender*/) {}
