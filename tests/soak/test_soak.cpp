// The soak in its short form (the program upsfw_soak runs the long one): upgrades in both
// address modes, with and without reading comparison, at several fault rates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "soak/Soak.h"

#ifndef UPSFW_SOAK_RUNS
#define UPSFW_SOAK_RUNS 64
#endif

namespace {

int EnvNumber(const char* name, int otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::atoi(text) : otherwise;
}

using Soak = SoakFixture;

TEST_F(Soak, EveryRunEndsInBlueWithTheFileOrInRed) {
  const int runs = EnvNumber("UPSFW_SOAK_RUNS", UPSFW_SOAK_RUNS);
  const auto seed = static_cast<uint32_t>(EnvNumber("UPSFW_SOAK_SEED", 1));
  const SoakFirmware firmware =
      EnvNumber("UPSFW_SOAK_EXAMPLES", 0) != 0 ? SoakFirmware::kExamples : SoakFirmware::kGenerated;
  const SoakTally tally = RunSoak(runs, seed, firmware);
  std::cout << tally.Report();

  EXPECT_EQ(tally.runs, runs);
  EXPECT_EQ(tally.silent_corruptions, 0) << tally.first_problem;
  EXPECT_EQ(tally.unended, 0) << tally.first_problem;
  EXPECT_EQ(tally.not_started_blue, 0) << tally.first_problem;
  EXPECT_EQ(tally.blue + tally.red, runs);
  // The soak is only worth its time when both endings occur and every kind of fault was
  // injected.
  EXPECT_GT(tally.blue, 0);
  EXPECT_GT(tally.red, 0);
  for (size_t k = 0; k < kSoakFaultKinds; ++k) {
    EXPECT_GT(tally.faults[k], 0u) << SoakFaultName(static_cast<SoakFault>(k));
  }
}

}  // namespace
