#include "support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace {
[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}
}  // namespace

Pty::Pty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) ThrowErrno("posix_openpt");
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    const int error = errno;
    close(master_);
    throw std::system_error(error, std::generic_category(), "pseudo-terminal slave");
  }
  slave_path_ = name;
}

Pty::~Pty() { CloseMaster(); }

void Pty::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void Pty::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowErrno("write to pseudo-terminal");
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> Pty::Receive(size_t max, int wait_ms) {
  std::vector<uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (bytes.size() < max) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{master_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0 || (pfd.revents & POLLIN) == 0) {
      break;
    }
    uint8_t chunk[256];
    const ssize_t n = read(master_, chunk, std::min(sizeof chunk, max - bytes.size()));
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

termios Pty::SlaveSettings() const {
  termios tio{};
  if (tcgetattr(master_, &tio) != 0) ThrowErrno("tcgetattr");
  return tio;
}

PortFolder::PortFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/upsfw-ports-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ThrowErrno("mkdtemp");
  path_ = pattern;
  if (const char* previous = std::getenv("UPSFW_PORTS")) {
    had_previous_ = true;
    previous_ = previous;
  }
  setenv("UPSFW_PORTS", path_.c_str(), 1);
}

PortFolder::~PortFolder() {
  for (const std::string& entry : entries_) unlink(entry.c_str());
  rmdir(path_.c_str());
  if (had_previous_) {
    setenv("UPSFW_PORTS", previous_.c_str(), 1);
  } else {
    unsetenv("UPSFW_PORTS");
  }
}

void PortFolder::Link(int number, std::string_view target) {
  const std::string entry = path_ + "/com" + std::to_string(number);
  unlink(entry.c_str());
  if (symlink(std::string(target).c_str(), entry.c_str()) != 0) ThrowErrno("symlink");
  entries_.push_back(entry);
}
