// A device for the fake line that answers each request frame with the next reply a test
// queued (or with silence when none is queued), and keeps every request it received.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "platform/FakeLine.h"

class ScriptedDevice final : public platform::FakeLine::Device {
 public:
  using Bytes = std::vector<uint8_t>;
  // The answer to the next request: `bytes` sent `delay_ms` after the request arrived.
  void Queue(Bytes bytes, uint32_t delay_ms = 0) {
    replies_.push_back({std::move(bytes), delay_ms});
  }
  void QueueSilence() { replies_.push_back({{}, 0}); }
  size_t Unused() const { return replies_.size(); }

  std::vector<Bytes> requests;                           // every frame received, in order
  std::vector<uint64_t> request_times_us;                // when each was complete at the device
  std::function<void(const Bytes& request)> on_request;  // runs as each request arrives

  void OnReceive(platform::FakeLine& line, const std::vector<uint8_t>& bytes,
                 const std::vector<uint64_t>& arrival_us, bool noise) override;

 private:
  struct Reply {
    Bytes bytes;
    uint32_t delay_ms;
  };
  std::deque<Reply> replies_;
  Bytes partial_;
};

// A fake line at COM1 with a scripted device, on a virtual clock installed for the test.
struct ScriptedLine {
  ScriptedLine();
  ~ScriptedLine();
  platform::VirtualClock clock;
  platform::FakeLine line{clock};
  platform::FakePorts ports;
  ScriptedDevice device;
};
