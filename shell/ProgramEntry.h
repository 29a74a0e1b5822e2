#pragma once

#include <functional>

#include "platform/Forms.h"

// The program entry: initializes the application object, sets its title, creates the
// windows with `create_forms`, runs the message loop and returns 0. An Exception that
// escapes is shown in the application's error box, captioned with the title.
int ProgramEntry(TApplication& app, const std::function<void(TApplication&)>& create_forms);

// Creates the main window and the hidden waiting window, in that order.
void CreateUpsfwForms(TApplication& app);
