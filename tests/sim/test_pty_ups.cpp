// The pseudo-terminal transport's link: made where asked, to a terminal, and removed again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim/PtyUps.h"

namespace {

namespace fs = std::filesystem;

fs::path ScratchFolder() {
  const fs::path folder =
      fs::temp_directory_path() / ("upsfw-sim-test-" + std::to_string(getpid()));
  fs::remove_all(folder);
  return folder;
}

TEST(PtyUpsLink, LinksATerminalIntoAFolderItMakesAndRemovesTheLinkAtClose) {
  const fs::path folder = ScratchFolder();
  const fs::path link = folder / "ports" / "com1";
  {
    sim::PtyUps ups({});
    std::string error;
    ASSERT_TRUE(ups.Open(link.string(), &error)) << error;
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), ups.SlavePath());
    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(isatty(fd), 1);
    ::close(fd);
    // An old link of another is replaced.
    sim::PtyUps second({});
    ASSERT_TRUE(second.Open(link.string(), &error)) << error;
    EXPECT_EQ(fs::read_symlink(link).string(), second.SlavePath());
    // The first one's Close leaves the link that is no longer its own.
    ups.Close();
    EXPECT_TRUE(fs::is_symlink(link));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  fs::remove_all(folder);
}

TEST(PtyUpsLink, DoesNotReplaceAnythingButALink) {
  const fs::path folder = ScratchFolder();
  fs::create_directories(folder);
  const fs::path file = folder / "com1";
  std::ofstream(file) << "keep";
  sim::PtyUps ups({});
  std::string error;
  EXPECT_FALSE(ups.Open(file.string(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_regular_file(file));
  fs::remove_all(folder);
}

}  // namespace
