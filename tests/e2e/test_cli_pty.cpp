// upsfw-cli end to end against upsfw-sim over a real pseudo-terminal, in real time.
#include <gtest/gtest.h>

#include "support/SimProcess.h"

namespace {

const std::string kCli = std::string(UPSFW_BINARY_DIR) + "/upsfw-cli";
// Fast simulated UPS: a short erase, no waiting between replies.
const std::vector<std::string> kQuickUps = {"--erase-time", "200", "--reply-latency", "200"};

class CliOverPty : public ::testing::Test {
 protected:
  SimProcess sim;
  std::vector<uint8_t> firmware = PatternBytes(512, 7);
  std::string narrow_file = WriteSRecords(sim.Folder(), "fw.s19", firmware, 0x4000, 2);
  std::string wide_file = WriteSRecords(sim.Folder(), "wide.s19", firmware, 0x010000, 3);
};

TEST_F(CliOverPty, ShowPrintsTheListingAndTheFileSum) {
  const CommandResult good = RunCommand(kCli + " show " + narrow_file);
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.out.rfind("4000 ", 0), 0u) << good.out;
  EXPECT_NE(good.out.find("\nModel: \n"), std::string::npos);
  EXPECT_NE(good.out.find("\nChecksum: 0x"), std::string::npos);

  // A record with a wrong checksum: the box goes to standard error and the load fails.
  const std::string bad = sim.Folder() + "/bad.s19";
  ASSERT_EQ(std::system(("printf 'S10640001122330000\\n' > " + bad).c_str()), 0);
  const CommandResult refused = RunCommand(kCli + " show " + bad);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Check Sum: Check sum error in the file.!"), std::string::npos)
      << refused.err;
}

TEST_F(CliOverPty, VersionAsksTheUps) {
  ASSERT_TRUE(sim.Start({"--firmware-version", "UPS FW 9.99", "--programmer-version", "BOOT"}));
  const CommandResult run = RunCommand(kCli + " version --port COM1");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "UPS Firmware Version: UPS FW 9.99\nProgrammer Version: BOOT\n");
}

TEST_F(CliOverPty, UpgradesANarrowUps) {
  auto args = kQuickUps;
  // A small flash, so that the read-back of every block of it stays short.
  args.insert(args.end(), {"--range", "0x4000-0x43FF"});
  ASSERT_TRUE(sim.Start(args));
  const CommandResult run = RunCommand(kCli + " upgrade --port COM1 --file " + narrow_file);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("blue: UPS: Reading!\n"), std::string::npos);
  EXPECT_TRUE(run.out.ends_with("blue: UPS: Upgrade OK!\n") ||
              run.out.find("blue: UPS: Upgrade OK!\n") != std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("progress "), std::string::npos);
  sim.Stop();
  const std::vector<uint8_t> memory = sim.Memory();  // from 0x4000
  ASSERT_GE(memory.size(), firmware.size());
  EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), memory.begin()));
  EXPECT_TRUE(std::all_of(memory.begin() + static_cast<long>(firmware.size()), memory.end(),
                          [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(CliOverPty, UpgradesAWideUpsWithAnExcludedRange) {
  auto args = kQuickUps;
  args.insert(args.end(), {"--address-mode", "6", "--range", "0x0-0x1FFFF", "--exclude",
                           "0x0-0x3FFF", "--wide-sum", "accept"});
  ASSERT_TRUE(sim.Start(args));
  const CommandResult run =
      RunCommand(kCli + " upgrade --port COM1 --no-read-comparison --file " + wide_file);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("blue: UPS: Checksum Comparison OK!\n"), std::string::npos) << run.out;
  sim.Stop();
  const std::vector<uint8_t> memory = sim.Memory();  // from 0
  ASSERT_GE(memory.size(), 0x010000 + firmware.size());
  EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), memory.begin() + 0x010000));
}

TEST_F(CliOverPty, AUpsAnsweringBusyEndsRed) {
  auto args = kQuickUps;
  args.insert(args.end(), {"--fault", "busy:program@2"});
  ASSERT_TRUE(sim.Start(args));
  const CommandResult run = RunCommand(kCli + " upgrade --port COM1 --file " + narrow_file);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("red: UPS: Busy!\n"), std::string::npos) << run.out;
}

TEST_F(CliOverPty, NoUpsAtThePortNeverStarts) {
  const CommandResult run = RunCommand(kCli + " upgrade --port COM2 --file " + narrow_file);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(": Open COM Port Failed!"), std::string::npos) << run.err;
}

}  // namespace
