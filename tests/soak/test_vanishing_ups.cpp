// A UPS that vanishes in the middle of a run, over a real pseudo-terminal on the real clock:
// the program upsfw-sim behind the port folder's com1, the window driven offscreen.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/TRIComm.h"
#include "support/FormFixture.h"
#include "support/Pty.h"
#include "upgrade/SequencerVars.h"

extern char** environ;

namespace {

// The simulated UPS as a child process, stopped (if it still runs) when this goes.
class SimChild {
 public:
  SimChild(const std::vector<std::string>& options, const std::string& link) {
    std::vector<std::string> args = {std::string(UPSFW_BINARY_DIR) + "/sim/upsfw-sim", "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(link);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~SimChild() { Stop(); }
  SimChild(const SimChild&) = delete;
  SimChild& operator=(const SimChild&) = delete;

  bool Started() const { return pid_ > 0; }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// Waits (up to a bound, for a process starting up) until `path` exists or not.
bool AwaitPath(const std::string& path, bool exists) {
  for (int i = 0; i < 500; ++i) {
    if (std::filesystem::exists(std::filesystem::symlink_status(path)) == exists) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A small firmware: the identification and 24 records of 16 bytes from 0x4000.
std::string SmallFirmware() {
  std::string text;
  for (unsigned r = 0; r < 24; ++r) {
    const unsigned address = 0x4000 + r * 0x10;
    unsigned sum = 0x13 + (address >> 8) + (address & 0xFF);
    char line[64];
    int n = std::snprintf(line, sizeof line, "S113%04X", address);
    for (unsigned k = 0; k < 16; ++k) {
      const unsigned byte = (r * 16 + k) * 7 & 0xFF;
      sum += byte;
      n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X", byte);
    }
    std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X\n", ~sum & 0xFF);
    text += line;
  }
  return text + "S9030000FC\n";
}

using VanishingUps = FormFixture;

TEST_F(VanishingUps, TheRunEndsInRedAndThePortOpensAgainOnceTheUpsIsBack) {
  PortFolder ports;
  const std::string link = ports.Path() + "/com1";
  const std::string file = ports.Path() + "/small.s19";
  std::ofstream(file) << SmallFirmware();
  const std::vector<std::string> fast = {"--erase-time", "50", "--range", "0x4000-0x47FF"};

  {
    std::vector<std::string> options = fast;
    options.insert(options.end(), {"--vanish-after", "6"});  // gone in the programming
    SimChild ups(options, link);
    ASSERT_TRUE(ups.Started());
    ASSERT_TRUE(AwaitPath(link, true));

    AnswerDialogWith(file);
    form->BUT_LOAD->Click();
    ASSERT_TRUE(form->FileLoaded);
    form->BUT_OPEN->Click();
    ASSERT_TRUE(form->ComOpened);
    form->BUT_BURN->Click();
    ASSERT_TRUE(form->Burning) << Status();

    int ticks = 0;
    while ((form->Burning || TickStarted) && ticks < 5000) {
      form->Timer1Timer(form->Timer1.get());
      ++ticks;
    }
    EXPECT_FALSE(form->Burning);
    EXPECT_FALSE(TickStarted);
    EXPECT_EQ(StatusColour(), clRed) << Status();
    EXPECT_TRUE(form->BUT_BURN->Enabled());
    EXPECT_TRUE(form->BUT_OPEN->Enabled());
    EXPECT_TRUE(form->BUT_LOAD->Enabled());
    EXPECT_LT(form->PB_BURN->Position(), form->PB_BURN->Max());
    // The simulated UPS leaves, taking its link with it.
    EXPECT_TRUE(AwaitPath(link, false));
  }

  SimChild ups(fast, link);
  ASSERT_TRUE(ups.Started());
  ASSERT_TRUE(AwaitPath(link, true));
  if (form->ComOpened) form->BUT_OPEN->Click();  // "&Close"
  EXPECT_FALSE(form->ComOpened);
  form->BUT_OPEN->Click();  // "&Open"
  EXPECT_TRUE(form->ComOpened);
  form->Button1->Click();  // and the UPS answers on it
  EXPECT_EQ(form->L_UPSVersion->Caption(), "UPS FW 1.00");
  form->BUT_OPEN->Click();
}

}  // namespace
