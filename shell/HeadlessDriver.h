// Drives the main window without a person: the open dialog answered with a given file,
// message boxes printed, Timer1 ticking until a run has ended. It only presses the window's
// buttons; every line of behaviour is the window's own.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

struct HeadlessOptions {
  std::string command;  // "show", "version" or "upgrade"
  std::string file;
  int port = 0;  // COM number
  bool read_comparison = true;
  int empty_index = 1;     // item of "Default Empty Value": 0 for 0x00, 1 for 0xFF
  std::string screenshot;  // upgrade: a PNG of the window as the run left it
};

// Parses the command line; on error returns nothing and writes why to `err`.
std::optional<HeadlessOptions> ParseHeadlessArgs(int argc, char** argv, std::ostream& err);

// The usage text of upsfw-cli.
std::string HeadlessUsage();

// Runs one command against a fresh main window; returns the exit status.
//   show:    0 when the file was loaded, 1 otherwise
//   version: 0 when the UPS answered, 1 otherwise
//   upgrade: 0 when the last status is blue, 1 when red, 2 when the run never started
// `progress_bar` draws a bar on `err` instead of printing "progress P/M" lines on `out`.
int RunHeadless(const HeadlessOptions& options, std::ostream& out, std::ostream& err,
                bool progress_bar);
