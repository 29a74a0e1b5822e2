// upsfw-cli: the upgrade window driven from the command line, for automation.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "shell/HeadlessDriver.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << HeadlessUsage();
      return 0;
    }
  }
  const auto options = ParseHeadlessArgs(argc, argv, std::cerr);
  if (!options) return 2;
  // The window is never shown on a screen.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (getenv("XDG_RUNTIME_DIR") == nullptr) {
    // A private runtime folder, so that the platform need not make one and warn about it.
    const std::string runtime = "/tmp/upsfw-runtime-" + std::to_string(getuid());
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  return RunHeadless(*options, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
