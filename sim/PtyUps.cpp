#include "sim/PtyUps.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace sim {

namespace {

struct SpeedCode {
  int32_t baud;
  speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

int32_t BaudOf(speed_t code) {
  for (const SpeedCode& s : kSpeeds) {
    if (s.code == code) return s.baud;
  }
  return 0;
}

speed_t CodeOf(int32_t baud) {
  for (const SpeedCode& s : kSpeeds) {
    if (s.baud == baud) return s.code;
  }
  return B9600;
}

uint64_t SteadyNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

constexpr uint64_t kMaxWait_us = 50'000;

}  // namespace

PtyUps::PtyUps(UpsConfig config)
    : model_(std::move(config)), origin_ns_(SteadyNs()), line_baud_(model_.Baud()) {}

PtyUps::~PtyUps() { Close(); }

uint64_t PtyUps::Now_us() const { return (SteadyNs() - origin_ns_) / 1000; }

bool PtyUps::Open(const std::string& link_path, std::string* error) {
  const auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what + ": " + std::strerror(errno);
    Close();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) return fail("grantpt/unlockpt");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname_r");
  slave_path_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave_ < 0) return fail("open " + slave_path_);
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) return fail("tcgetattr");
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&tio, CodeOf(line_baud_));
  cfsetospeed(&tio, CodeOf(line_baud_));
  if (tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");

  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path link(link_path);
  if (link.has_parent_path()) fs::create_directories(link.parent_path(), ec);
  const fs::file_status status = fs::symlink_status(link, ec);
  if (fs::exists(status)) {
    if (!fs::is_symlink(status)) {
      errno = EEXIST;
      return fail(link_path + " exists and is not a symbolic link");
    }
    fs::remove(link, ec);
  }
  if (symlink(slave_path_.c_str(), link_path.c_str()) != 0) return fail("symlink " + link_path);
  link_path_ = link_path;
  return true;
}

void PtyUps::Close() {
  if (!link_path_.empty()) {
    // Only our own link goes.
    char target[256];
    const ssize_t n = readlink(link_path_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == slave_path_) {
      unlink(link_path_.c_str());
    }
    link_path_.clear();
  }
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

int32_t PtyUps::HostBaud() const {
  termios tio{};
  // On the master side this gives the settings the utility made on its end.
  if (tcgetattr(master_, &tio) != 0) return 0;
  return BaudOf(cfgetospeed(&tio));
}

void PtyUps::Queue(std::vector<Action> actions) {
  for (Action& action : actions) {
    const auto at =
        std::upper_bound(pending_.begin(), pending_.end(), action.at_us,
                         [](uint64_t t, const Action& queued) { return t < queued.at_us; });
    pending_.insert(at, std::move(action));
  }
}

bool PtyUps::ApplyDue(uint64_t now_us) {
  while (!pending_.empty() && pending_.front().at_us <= now_us) {
    const Action action = std::move(pending_.front());
    pending_.pop_front();
    switch (action.kind) {
      case Action::Kind::kSend: {
        uint64_t t = std::max(action.at_us, tx_free_us_);
        for (const uint8_t value : action.bytes) {
          t += WireTime_us(1, line_baud_);
          out_.push_back(OutByte{value, t});
        }
        tx_free_us_ = t;
        break;
      }
      case Action::Kind::kSetBaud:
        line_baud_ = action.baud;
        break;
      case Action::Kind::kVanish:
        Close();
        return false;
    }
  }
  return true;
}

void PtyUps::WriteDue(uint64_t now_us) {
  std::vector<uint8_t> due;
  while (!out_.empty() && out_.front().due_us <= now_us) {
    due.push_back(out_.front().value);
    out_.pop_front();
  }
  size_t done = 0;
  while (done < due.size()) {
    const ssize_t n = ::write(master_, due.data() + done, due.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the slave's queue is full or gone: the bytes are lost, as on a line
    }
  }
}

void PtyUps::ReadInput() {
  uint8_t buffer[512];
  const ssize_t n = ::read(master_, buffer, sizeof buffer);
  if (n <= 0) return;
  const uint64_t now = Now_us();
  const int32_t host_baud = HostBaud();
  std::vector<uint64_t> arrival(static_cast<size_t>(n));
  rx_free_us_ = std::max(rx_free_us_, now);
  for (uint64_t& t : arrival) {
    rx_free_us_ += WireTime_us(1, host_baud);
    t = rx_free_us_;
  }
  Queue(model_.Receive({buffer, static_cast<size_t>(n)}, arrival, host_baud != line_baud_));
}

void PtyUps::Serve(const std::function<bool()>& keep_going) {
  while (master_ >= 0 && keep_going()) {
    uint64_t now = Now_us();
    Queue(model_.Idle(now));
    if (!ApplyDue(now)) return;
    WriteDue(now);
    uint64_t next = now + kMaxWait_us;
    if (!pending_.empty()) next = std::min(next, pending_.front().at_us);
    if (!out_.empty()) next = std::min(next, out_.front().due_us);
    const uint64_t wait = next > now ? next - now : 0;
    const timespec timeout{static_cast<time_t>(wait / 1'000'000),
                           static_cast<long>(wait % 1'000'000) * 1000};
    pollfd pfd{master_, POLLIN, 0};
    const int ready = ppoll(&pfd, 1, &timeout, nullptr);
    if (ready > 0 && (pfd.revents & POLLIN) != 0) {
      ReadInput();
    } else if (ready > 0) {
      // Hung up or in error: should not happen while we hold the slave; do not spin.
      usleep(10'000);
    }
  }
}

}  // namespace sim
