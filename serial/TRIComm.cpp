#include "serial/TRIComm.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"

namespace {
constexpr int kFlushChunkBytes = 5;
constexpr uint32_t kFlushLimit_ms = 5;
}  // namespace

bool TRIComm::Open(int port, int speed) {
  handle_.reset();
  char name[32];
  std::snprintf(name, sizeof name, "COM%d", port);
  handle_ = platform::CurrentPorts().Open(name);
  if (!handle_) return false;

  char mode[32];
  std::snprintf(mode, sizeof mode, "%d,N,8,1", speed);
  const auto settings = platform::ParseModeString(mode);
  if (!settings || !handle_->Configure(*settings)) {
    handle_.reset();
    return false;
  }
  handle_->Purge();
  return true;
}

void TRIComm::Close() { handle_.reset(); }

bool TRIComm::Write(const uint8_t* bytes, int count) {
  if (!handle_ || count < 0) return false;
  return handle_->Write(bytes, static_cast<size_t>(count));
}

bool TRIComm::Read(uint8_t* dst, int& count, uint32_t limit_ms) {
  if (count < 0 || count > kStagingBytes) return false;
  std::array<uint8_t, kStagingBytes> staging;
  const uint32_t start = GetTickCount();
  int received = 0;
  for (;;) {
    if (GetTickCount() - start >= limit_ms) return false;
    if (handle_) {
      received += static_cast<int>(
          handle_->Read(staging.data() + received, static_cast<size_t>(count - received)));
    } else {
      // A port without a handle fails every platform read at once.
      Sleep(1);
    }
    if (received >= count) break;
  }
  count = received;
  std::memcpy(dst, staging.data(), static_cast<size_t>(received));
  return true;
}

void TRIComm::Flush() {
  uint8_t scratch[kFlushChunkBytes];
  for (;;) {
    int count = kFlushChunkBytes;
    if (!Read(scratch, count, kFlushLimit_ms)) break;
  }
}

namespace {
// Runs before the program entry: the serial port object exists before any window.
struct CreateRIComm {
  CreateRIComm() { RIComm = new TRIComm; }
} create_ricomm;
}  // namespace

TRIComm* RIComm;
