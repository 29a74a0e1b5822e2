// Complete upgrades through the window against the simulated UPS, in virtual time.
#include <gtest/gtest.h>

#include "support/SimRun.h"

namespace {

using FullUpgrade = SimRunFixture;

sim::UpsConfig NarrowUps() { return sim::UpsConfig{}; }

sim::UpsConfig WideUps() {
  sim::UpsConfig config;
  config.mode_byte = 0x10;
  config.inquiry_bytes = 6;
  config.range = {0x000000, 0x01FFFF};
  config.excluded = sim::AddressRange{0x000000, 0x003FFF};
  // The expected sum of a wide run carries no count of what was sent (BurnedBytes stays 0
  // and there is no image), so this UPS takes any; the memory is checked here instead.
  config.wide_sum = sim::WideSum::kAcceptAny;
  return config;
}

TEST_F(FullUpgrade, NarrowUpsWithReadingComparison) {
  for (const char* file : {"ups-demo.s19", "ups-demo.hex"}) {
    SCOPED_TRACE(file);
    const RunResult run = Upgrade(ExampleFile(file), NarrowUps(), true);
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.status, "UPS: Upgrade OK!");
    EXPECT_EQ(run.colour, clBlue);
    EXPECT_TRUE(run.memory_matches) << run.first_difference;
    EXPECT_EQ(form->PB_BURN->Position(), form->PB_BURN->Max());
    EXPECT_EQ(form->ReadOffset, form->RomSize);  // every block was read back
    EXPECT_TRUE(form->BUT_BURN->Enabled());
    EXPECT_EQ(line->HostBaud(), 2400);
    form->BUT_OPEN->Click();  // close for the next file
  }
}

TEST_F(FullUpgrade, NarrowUpsWithoutReadingComparison) {
  const RunResult run = Upgrade(ExampleFile("ups-demo.s19"), NarrowUps(), false);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.status, "UPS: Upgrade OK!");
  EXPECT_EQ(run.colour, clBlue);
  EXPECT_TRUE(run.memory_matches) << run.first_difference;
  EXPECT_EQ(ups->Model().Executed(protocol::Command::kReadBack), 0u);
}

TEST_F(FullUpgrade, WideUpsWithAnExcludedRange) {
  for (const bool read_comparison : {true, false}) {
    SCOPED_TRACE(read_comparison);
    const RunResult run = Upgrade(ExampleFile("ups-wide.s19"), WideUps(), read_comparison);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.status, "UPS: Checksum Comparison OK!");
    EXPECT_EQ(run.colour, clBlue);
    EXPECT_TRUE(run.memory_matches) << run.first_difference;
    EXPECT_EQ(form->WideAddress, 1);
    EXPECT_EQ(ups->Model().Executed(protocol::Command::kProgram), 0u);
    form->BUT_OPEN->Click();
  }
}

TEST_F(FullUpgrade, AUpsAnsweringBusyEndsInRed) {
  sim::UpsConfig config = NarrowUps();
  std::string error;
  config.faults.push_back(*sim::ParseFaultRule("busy:program@3", &error));
  const RunResult run = Upgrade(ExampleFile("ups-demo.s19"), config, true);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.status, "UPS: Busy!");
  EXPECT_EQ(run.colour, clRed);
}

}  // namespace
