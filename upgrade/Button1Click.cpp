#include "shell/Main.h"

// Not built yet.
void TTarvikUPSForm::Button1Click(TObject* /*Sender*/) {}
