// The soak: many complete upgrades through the window against the simulated UPS on the fake
// line, in virtual time, with seeded random faults on the line. Every run must end either in
// blue with the UPS holding exactly the file, or in red; a blue ending with any other memory
// is a silent corruption. Counted apart: a 2-byte run ends in blue without reading the UPS's
// checksum verdict, and a UPS that did not confirm the image holds its first bytes back
// (erased); such a run is an unconfirmed blue when the rest of the memory holds the file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "support/SimRun.h"

// The kinds of fault the soak injects, one rule each.
enum class SoakFault : uint8_t {
  kSilence,
  kNak,
  kWrongSum,
  kStrayByte,
  kCutReply,
  kLateReply,
  kFailureStatus,
};
inline constexpr size_t kSoakFaultKinds = 7;
const char* SoakFaultName(SoakFault kind);

// Which firmware the runs load.
enum class SoakFirmware : uint8_t {
  kGenerated,  // small generated files (fast)
  kExamples,   // examples/ups-demo.s19 and examples/ups-wide.s19
};

struct SoakTally {
  int runs = 0;
  int blue = 0;
  int red = 0;
  int silent_corruptions = 0;
  int unconfirmed_blue = 0;  // "UPS: Upgrade OK!" while the UPS held its start back
  int unended = 0;           // a run still going at the tick limit: a hang
  int not_started_blue = 0;  // "&Upgrade" refused without a red line
  std::array<uint64_t, kSoakFaultKinds> faults{};
  std::map<std::string, int> endings;  // "blue|red: status text" -> runs
  std::string first_problem;           // the first silent corruption or hang, described

  uint64_t FaultsInjected() const;
  std::string Report() const;
};

class SoakFixture : public SimRunFixture {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs `runs` upgrades; run i takes its mode, reading comparison, fault rate and seed
  // from i and `seed`.
  SoakTally RunSoak(int runs, uint32_t seed, SoakFirmware firmware);
  // Whether the UPS's memory differs from the file only in held bytes left erased.
  bool OnlyHeldBytesDiffer(const sim::UpsConfig& config) const;

 private:
  std::string temp_dir_;
  std::string narrow_file_;
  std::string wide_file_;
};
