// An in-memory serial line on the virtual clock, for tests and the in-process simulated UPS.
//
// The host end is what the serial port object opens ("COM1" ... through FakePorts); it
// behaves as the POSIX line does (see SerialLine.h), but every wait moves the VirtualClock
// instead of sleeping, so a 40 s time limit costs nothing. The device end is driven by a
// test or by the simulated UPS through FakeLine::Device.
//
// Timing: a byte takes 10 bit times on the wire at its sender's speed. Bytes written by the
// host reach the device one after the other from the moment of the write; bytes sent by the
// device reach the host from the time the device gives, after any bytes still on the wire.
// Bytes sent at one speed and received at another arrive as noise (each value changed, the
// same way every time). A host write returns at once, as a POSIX write into the driver's
// queue does; its bytes reach the device later on the wire, and the device hears of them at
// once with their arrival times. The host end runs at 9600 baud until it is configured, and
// takes only the speeds a POSIX line takes. Bytes that arrive while the host end is closed
// are lost. A host end that outlives its line reads and writes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/SerialLine.h"

namespace platform {

class FakeLine {
 public:
  // What sits at the device end.
  class Device {
   public:
    virtual ~Device() = default;
    // The host wrote bytes: `arrival_us[i]` is when bytes[i] has fully arrived at the device.
    // `noise` is true when the host sent them at another speed than the device's: their
    // values are not what the host meant. Called from within the host's write.
    virtual void OnReceive(FakeLine& line, const std::vector<uint8_t>& bytes,
                           const std::vector<uint64_t>& arrival_us, bool noise) = 0;
  };

  explicit FakeLine(VirtualClock& clock);
  ~FakeLine();
  FakeLine(const FakeLine&) = delete;
  FakeLine& operator=(const FakeLine&) = delete;

  VirtualClock& Clock() { return clock_; }

  // --- Device end.
  void AttachDevice(Device* device) { device_ = device; }
  void SetDeviceBaud(int32_t baud) { device_baud_ = baud; }
  int32_t DeviceBaud() const { return device_baud_; }
  // The speed the host end is configured to (0 while it is not open).
  int32_t HostBaud() const { return host_baud_; }
  bool HostOpen() const { return host_open_; }
  // Sends bytes to the host, the first starting on the wire no earlier than `start_us`,
  // paced at the device's speed. Returns the time the last byte arrives.
  uint64_t DeviceSend(const std::vector<uint8_t>& bytes, uint64_t start_us);
  // The device is gone (cable pulled): the host reads nothing and its writes are lost.
  void Vanish() { vanished_ = true; }
  void Reappear() { vanished_ = false; }
  bool Vanished() const { return vanished_; }
  // Everything the host has written, in order, as a test can inspect it.
  const std::vector<uint8_t>& HostWritten() const { return host_written_; }
  void ClearHostWritten() { host_written_.clear(); }
  // Bytes waiting for the host (arrived or still on the wire).
  size_t PendingToHost() const { return to_host_.size(); }

  // --- Host end (used through the SerialLine that FakePorts opens).
  std::unique_ptr<SerialLine> OpenHost();  // nullptr while the host end is already open
  // ... the SerialLine implementation calls these:
  bool HostConfigure(const LineSettings& settings);
  void HostPurge();
  size_t HostRead(uint8_t* dst, size_t count);
  bool HostWrite(const uint8_t* src, size_t count);
  void HostClose();

  // Time one byte takes on the wire at `baud` (10 bits), in microseconds.
  static uint64_t ByteTime_us(int32_t baud);

 private:
  class HostEnd;  // the SerialLine that OpenHost hands out
  struct InFlight {
    uint8_t value;
    uint64_t arrival_us;
    int32_t baud;  // the sender's speed; 0 once the value is settled (noise applied or not)
  };
  // Settles the bytes that have arrived by now at the host's current speed.
  void SettleArrived();
  VirtualClock& clock_;
  HostEnd* host_end_ = nullptr;
  Device* device_ = nullptr;
  int32_t device_baud_ = 2400;
  int32_t host_baud_ = 0;
  bool host_open_ = false;
  bool vanished_ = false;
  uint64_t host_wire_free_us_ = 0;    // when the host's transmitter is idle again
  uint64_t device_wire_free_us_ = 0;  // when the device's transmitter is idle again
  std::deque<InFlight> to_host_;
  std::vector<uint8_t> host_written_;
};

// Ports "COM1" ... backed by fake lines. A name without a line does not exist.
class FakePorts final : public SerialPorts {
 public:
  void Attach(const std::string& name, FakeLine& line) { lines_[name] = &line; }
  void Detach(const std::string& name) { lines_.erase(name); }
  std::unique_ptr<SerialLine> Open(std::string_view name) override;

 private:
  std::map<std::string, FakeLine*, std::less<>> lines_;
};

}  // namespace platform
