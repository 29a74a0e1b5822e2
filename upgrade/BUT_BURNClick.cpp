#include "shell/Main.h"

// Not built yet.
void TTarvikUPSForm::BUT_BURNClick(TObject* /*Sender*/) {}
