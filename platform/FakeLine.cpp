#include "platform/FakeLine.h"

#include <algorithm>
#include <iterator>

namespace platform {

namespace {

// The speeds a POSIX line takes (its Bxxx table); any other fails Configure as it does there.
constexpr int32_t kStandardSpeeds[] = {
    50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};

bool IsStandardSpeed(int32_t baud) {
  return std::ranges::find(kStandardSpeeds, baud) != std::end(kStandardSpeeds);
}

// The speed a freshly opened line runs at before anyone configures it.
constexpr int32_t kUnconfiguredBaud = 9600;

// What a byte sent at one speed looks like to a receiver at another: a different value,
// the same for the same byte, so that tests stay repeatable.
uint8_t Garble(uint8_t value) { return static_cast<uint8_t>(value ^ 0xA5); }

constexpr uint64_t ToMicros(std::chrono::milliseconds ms) {
  return static_cast<uint64_t>(ms.count()) * 1000;
}

}  // namespace

// The host end. It outlives its line safely: a line that goes first cuts it loose, and a
// loose end reads nothing and writes nothing.
class FakeLine::HostEnd final : public SerialLine {
 public:
  explicit HostEnd(FakeLine& line) : line_(&line) {}
  ~HostEnd() override {
    if (line_ != nullptr) line_->HostClose();
  }
  bool Configure(const LineSettings& settings) override {
    return line_ != nullptr && line_->HostConfigure(settings);
  }
  void Purge() override {
    if (line_ != nullptr) line_->HostPurge();
  }
  size_t Read(uint8_t* dst, size_t count) override {
    return line_ != nullptr ? line_->HostRead(dst, count) : 0;
  }
  bool Write(const uint8_t* src, size_t count) override {
    return line_ != nullptr && line_->HostWrite(src, count);
  }
  void CutLoose() { line_ = nullptr; }

 private:
  FakeLine* line_;
};

FakeLine::FakeLine(VirtualClock& clock) : clock_(clock) {}

FakeLine::~FakeLine() {
  if (host_end_ != nullptr) host_end_->CutLoose();
}

uint64_t FakeLine::ByteTime_us(int32_t baud) {
  if (baud <= 0) return 0;
  // 10 bits per byte, rounded up to whole microseconds.
  const uint64_t bits_us = 10'000'000;
  const auto rate = static_cast<uint64_t>(baud);
  return (bits_us + rate - 1) / rate;
}

uint64_t FakeLine::DeviceSend(const std::vector<uint8_t>& bytes, uint64_t start_us) {
  uint64_t t = std::max(start_us, device_wire_free_us_);
  const uint64_t byte_us = ByteTime_us(device_baud_);
  for (const uint8_t value : bytes) {
    t += byte_us;
    // With the cable pulled the bytes go nowhere, though the device still spends the time.
    if (!vanished_) to_host_.push_back(InFlight{value, t, device_baud_});
  }
  device_wire_free_us_ = t;
  return t;
}

std::unique_ptr<SerialLine> FakeLine::OpenHost() {
  if (host_open_) return nullptr;
  // What arrived while the host end was closed went nowhere.
  const uint64_t now = clock_.Now_us();
  std::erase_if(to_host_, [now](const InFlight& byte) { return byte.arrival_us <= now; });
  host_open_ = true;
  host_baud_ = kUnconfiguredBaud;
  auto end = std::make_unique<HostEnd>(*this);
  host_end_ = end.get();
  return end;
}

void FakeLine::HostClose() {
  host_open_ = false;
  host_baud_ = 0;
  host_end_ = nullptr;
}

void FakeLine::SettleArrived() {
  const uint64_t now = clock_.Now_us();
  for (InFlight& byte : to_host_) {
    if (byte.arrival_us > now) break;
    if (byte.baud != 0 && byte.baud != host_baud_) byte.value = Garble(byte.value);
    byte.baud = 0;
  }
}

bool FakeLine::HostConfigure(const LineSettings& settings) {
  if (!IsStandardSpeed(settings.baud)) return false;
  // Bytes already received were sampled at the old speed.
  SettleArrived();
  host_baud_ = settings.baud;
  return true;
}

void FakeLine::HostPurge() {
  // Drops what the host's receiver holds; bytes still on the wire arrive later all the same.
  // The host's own bytes were handed to the device when written, so there is nothing of
  // them left to drop.
  const uint64_t now = clock_.Now_us();
  std::erase_if(to_host_, [now](const InFlight& byte) { return byte.arrival_us <= now; });
}

size_t FakeLine::HostRead(uint8_t* dst, size_t count) {
  if (count == 0) return 0;
  const uint64_t start = clock_.Now_us();
  const uint64_t deadline = start + ToMicros(kReadTimeoutPerByte) * count;
  if (vanished_) {
    clock_.AdvanceTo_us(deadline);
    return 0;
  }
  const uint64_t interval_us = ToMicros(kReadIntervalTimeout);
  size_t taken = 0;
  uint64_t last = start;
  for (const InFlight& byte : to_host_) {
    if (taken == count) break;
    const uint64_t at = std::max(byte.arrival_us, start);
    if (at > deadline) break;
    if (taken > 0 && at - last > interval_us) break;
    last = at;
    ++taken;
  }
  uint64_t end = deadline;
  if (taken == count) {
    end = last;
  } else if (taken > 0) {
    end = std::min(deadline, last + interval_us);
  }
  clock_.AdvanceTo_us(end);
  SettleArrived();
  for (size_t i = 0; i < taken; ++i) {
    dst[i] = to_host_.front().value;
    to_host_.pop_front();
  }
  return taken;
}

bool FakeLine::HostWrite(const uint8_t* src, size_t count) {
  if (vanished_) return false;
  if (count == 0) return true;
  std::vector<uint8_t> bytes(src, src + count);
  host_written_.insert(host_written_.end(), bytes.begin(), bytes.end());
  std::vector<uint64_t> arrival_us;
  arrival_us.reserve(count);
  uint64_t t = std::max(clock_.Now_us(), host_wire_free_us_);
  const uint64_t byte_us = ByteTime_us(host_baud_);
  for (size_t i = 0; i < count; ++i) {
    t += byte_us;
    arrival_us.push_back(t);
  }
  host_wire_free_us_ = t;
  const bool noise = host_baud_ != device_baud_;
  if (noise) std::transform(bytes.begin(), bytes.end(), bytes.begin(), Garble);
  if (device_ != nullptr) device_->OnReceive(*this, bytes, arrival_us, noise);
  return true;
}

std::unique_ptr<SerialLine> FakePorts::Open(std::string_view name) {
  const auto found = lines_.find(name);
  if (found == lines_.end()) return nullptr;
  return found->second->OpenHost();
}

}  // namespace platform
