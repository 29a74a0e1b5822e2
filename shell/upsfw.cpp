// upsfw: the window program. It has no command line.
#include "shell/ProgramEntry.h"

int main() { return ProgramEntry(*Application, CreateUpsfwForms); }
