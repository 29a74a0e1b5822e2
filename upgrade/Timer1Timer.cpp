#include "shell/Main.h"

// Not built yet.
void TTarvikUPSForm::Timer1Timer(TObject* /*Sender*/) {}
