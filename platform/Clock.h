// The tick counter and the pause of the utility.
//
// Every time limit of the protocol is measured with GetTickCount (milliseconds, 32-bit,
// wrapping) and every pause goes through Sleep. Both go through the current Clock, which
// tests replace by a VirtualClock so that a 40 s wait costs nothing.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary origin; wraps at 2^32.
  virtual uint32_t TickCount_ms() = 0;
  virtual void Sleep_ms(uint32_t ms) = 0;
};

// The machine's monotonic clock.
class RealClock final : public Clock {
 public:
  uint32_t TickCount_ms() override;
  void Sleep_ms(uint32_t ms) override;
};

// A clock that moves only when told to, in microseconds. Sleep advances it at once.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint64_t start_us = 0) : now_us_(start_us) {}
  uint32_t TickCount_ms() override { return static_cast<uint32_t>(now_us_ / 1000); }
  void Sleep_ms(uint32_t ms) override { now_us_ += uint64_t{ms} * 1000; }
  uint64_t Now_us() const { return now_us_; }
  void AdvanceTo_us(uint64_t t_us) {
    if (t_us > now_us_) now_us_ = t_us;
  }
  void Advance_us(uint64_t d_us) { now_us_ += d_us; }

 private:
  uint64_t now_us_;
};

// The clock that GetTickCount and Sleep use; the RealClock unless a test installs another.
Clock& CurrentClock();
// Installs `clock` (nullptr restores the RealClock). The caller keeps it alive.
void SetClock(Clock* clock);

// Installs a clock for the lifetime of this object.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) { SetClock(&clock); }
  ~ScopedClock() { SetClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace platform

// The two calls the utility's own code uses.
uint32_t GetTickCount();
void Sleep(uint32_t ms);
