#include "shell/ProgramEntry.h"

#include "shell/Main.h"
#include "shell/checking.h"

int ProgramEntry(TApplication& app, const std::function<void(TApplication&)>& create_forms) {
  try {
    app.Initialize();
    app.SetTitle("UPS Firmware Programming");
    create_forms(app);
    app.Run();
  } catch (const Exception& e) {
    app.ShowException(e);
  }
  app.DestroyForms();
  return 0;
}

void CreateUpsfwForms(TApplication& app) {
  app.CreateForm(TarvikUPSForm);
  app.CreateForm(FormChecking);
}
