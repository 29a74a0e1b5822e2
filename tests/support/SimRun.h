// A whole upgrade through the window against the simulated UPS on the fake line, in virtual
// time: load a file with "&Browse...", "&Open" COM1, "&Upgrade", then tick until the run has
// ended and the window is unlocked.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/FakeLine.h"
#include "shell/Main.h"
#include "sim/FakeLineUps.h"
#include "support/FormFixture.h"

struct RunResult {
  bool started = false;  // "&Upgrade" got a run going
  bool ended = false;    // the run ended (within the tick limit) and the window unlocked
  std::string status;    // the last status line
  TColor colour = clBlue;
  int ticks = 0;
  uint64_t virtual_us = 0;
  bool memory_matches = false;   // the UPS holds exactly the file's bytes in its range
  std::string first_difference;  // where it does not
};

class SimRunFixture : public FormFixture {
 protected:
  // Runs one upgrade of `file` against a UPS configured by `config`.
  RunResult Upgrade(const std::string& file, const sim::UpsConfig& config, bool read_comparison,
                    int tick_limit = 200000);

  // The bytes the listing asks the UPS to hold, by address (later lines win).
  std::map<uint32_t, uint8_t> ListingBytes() const;

  platform::VirtualClock clock;
  std::unique_ptr<platform::FakeLine> line;
  std::unique_ptr<sim::FakeLineUps> ups;
  platform::FakePorts ports;
};

// The path of an example firmware file.
std::string ExampleFile(const std::string& name);
