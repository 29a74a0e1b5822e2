#include "platform/Clock.h"

#include <thread>

namespace platform {

uint32_t RealClock::TickCount_ms() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void RealClock::Sleep_ms(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
RealClock real_clock;
Clock* current_clock = &real_clock;
}  // namespace

Clock& CurrentClock() { return *current_clock; }

void SetClock(Clock* clock) { current_clock = clock != nullptr ? clock : &real_clock; }

}  // namespace platform

uint32_t GetTickCount() { return platform::CurrentClock().TickCount_ms(); }

void Sleep(uint32_t ms) { platform::CurrentClock().Sleep_ms(ms); }
