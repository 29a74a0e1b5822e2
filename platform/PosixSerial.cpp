// The serial line over POSIX termios.
//
// Port names: "COMn" (n = 1, 2, ...) opens the entry "comn" of the port folder when the folder
// has one (usually a symbolic link to a device such as /dev/ttyUSB0, or to the pseudo-terminal
// of a simulated UPS), else /dev/ttyS<n-1>. The port folder is $UPSFW_PORTS when that is set,
// else ${XDG_CONFIG_HOME:-~/.config}/upsfw/ports.
//
// A port is held exclusively: an advisory lock (flock) keeps out every cooperating program,
// root included, and TIOCEXCL keeps out other opens by ordinary users.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "platform/SerialLine.h"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct SpeedCode {
  int32_t baud;
  speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

std::optional<speed_t> SpeedCodeFor(int32_t baud) {
  for (const SpeedCode& speed : kSpeeds) {
    if (speed.baud == baud) return speed.code;
  }
  return std::nullopt;
}

std::string PortFolder() {
  const char* ports = std::getenv("UPSFW_PORTS");
  if (ports != nullptr && *ports != '\0') return ports;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config != '\0') return std::string(config) + "/upsfw/ports";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/upsfw/ports";
  return {};
}

// The device behind "COMn", or nothing for a name of another form.
std::optional<std::string> DevicePath(std::string_view name) {
  if (name.size() < 4) return std::nullopt;
  const std::string_view prefix = name.substr(0, 3);
  if (!std::equal(prefix.begin(), prefix.end(), "COM", [](char a, char b) {
        return (a & ~0x20) == b;  // ASCII, case-blind
      })) {
    return std::nullopt;
  }
  const std::string_view digits = name.substr(3);
  int number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc{} || end != digits.data() + digits.size() || number < 1) {
    return std::nullopt;
  }
  const std::string folder = PortFolder();
  if (!folder.empty()) {
    const std::string entry = folder + "/com" + std::to_string(number);
    struct stat st {};
    // The entry itself decides, even a link to a device that is gone.
    if (lstat(entry.c_str(), &st) == 0) return entry;
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

// Milliseconds for poll() until `deadline`, rounded up so that a wait never ends early.
int PollTimeout(SteadyClock::time_point deadline) {
  const auto left = deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, 60'000));
}

class PosixLine final : public SerialLine {
 public:
  explicit PosixLine(int fd) : fd_(fd) {}
  ~PosixLine() override {
    ioctl(fd_, TIOCNXCL);  // root passes TIOCEXCL; leave the port open to others again
    close(fd_);            // also releases the lock
  }
  PosixLine(const PosixLine&) = delete;
  PosixLine& operator=(const PosixLine&) = delete;

  bool Configure(const LineSettings& settings) override {
    const auto code = SpeedCodeFor(settings.baud);
    if (!code) return false;
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, *code) != 0 || cfsetospeed(&tio, *code) != 0) return false;
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
    // tcsetattr succeeds when any part of the change took; the speed must have.
    termios applied{};
    if (tcgetattr(fd_, &applied) != 0) return false;
    return cfgetospeed(&applied) == *code && cfgetispeed(&applied) == *code;
  }

  // Drops what waits to be read. A port is purged right after it is opened, when this handle
  // has written nothing yet; flushing the output as well would, on a pseudo-terminal, drop
  // what an earlier handle wrote and the far end has not yet read (a request sent just
  // before a reopen), where a real line would long have sent it.
  void Purge() override { tcflush(fd_, TCIFLUSH); }

  size_t Read(uint8_t* dst, size_t count) override {
    if (count == 0) return 0;
    const auto start = SteadyClock::now();
    const auto total_deadline = start + kReadTimeoutPerByte * static_cast<int64_t>(count);
    size_t got = 0;
    SteadyClock::time_point last_byte{};
    for (;;) {
      const auto deadline =
          got == 0 ? total_deadline : std::min(total_deadline, last_byte + kReadIntervalTimeout);
      if (SteadyClock::now() >= deadline) break;
      pollfd pfd{fd_, POLLIN, 0};
      const int ready = poll(&pfd, 1, PollTimeout(deadline));
      if (ready < 0) {
        if (errno == EINTR) continue;
        SleepUntil(deadline);
        break;
      }
      if (ready == 0) continue;  // the deadline is checked above
      if ((pfd.revents & POLLIN) != 0) {
        const ssize_t n = ::read(fd_, dst + got, count - got);
        if (n > 0) {
          got += static_cast<size_t>(n);
          last_byte = SteadyClock::now();
          if (got == count) break;
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // End of file or an error (EIO): the device has gone.
      } else if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
        continue;
      }
      // The device has gone: nothing more comes. The read still takes its own time-out, so
      // that a caller looping on reads does not spin.
      SleepUntil(deadline);
      break;
    }
    return got;
  }

  bool Write(const uint8_t* src, size_t count) override {
    const auto deadline = SteadyClock::now() + kWriteTimeoutPerByte * static_cast<int64_t>(count);
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(fd_, src + done, count - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return false;  // EIO: the device has gone
      if (SteadyClock::now() >= deadline) return false;
      pollfd pfd{fd_, POLLOUT, 0};
      const int ready = poll(&pfd, 1, PollTimeout(deadline));
      if (ready < 0 && errno != EINTR) return false;
      if (ready > 0 && (pfd.revents & POLLOUT) == 0) return false;  // hung up or in error
    }
    return true;
  }

 private:
  static void SleepUntil(SteadyClock::time_point deadline) {
    std::this_thread::sleep_until(deadline);
  }

  int fd_;
};

class PosixSerialPorts final : public SerialPorts {
 public:
  std::unique_ptr<SerialLine> Open(std::string_view name) override {
    const auto path = DevicePath(name);
    if (!path) return nullptr;
    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (isatty(fd) == 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
      close(fd);
      return nullptr;
    }
    return std::make_unique<PosixLine>(fd);
  }
};

}  // namespace

SerialPorts& PosixPorts() {
  static PosixSerialPorts ports;
  return ports;
}

}  // namespace platform
