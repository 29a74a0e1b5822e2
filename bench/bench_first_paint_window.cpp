// The upgrade window started as the utility starts it; reports its first paint (see
// FirstPaint.h).
#include "FirstPaint.h"
#include "platform/Forms.h"
#include "shell/ProgramEntry.h"

int main() {
  return ProgramEntry(*Application, [](TApplication& app) {
    bench::ReportFirstPaint();
    CreateUpsfwForms(app);
  });
}
