// Shared helpers of the simulated UPS tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/Clock.h"
#include "platform/FakeLine.h"
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "sim/FakeLineUps.h"
#include "sim/UpsModel.h"

namespace simtest {

inline std::vector<uint8_t> Bytes(const packet::Frame& frame) {
  return {frame.bytes.begin(), frame.bytes.begin() + static_cast<std::ptrdiff_t>(frame.size)};
}

inline packet::Frame WideProgram(uint32_t address, std::span<const uint8_t> data) {
  const auto wire = protocol::WireAddress(address);
  const uint8_t a[3] = {wire[0], wire[1], wire[2]};
  return packet::WideProgramRequest(a, data);
}

inline packet::Frame ReadBack(uint32_t address, uint8_t count) {
  const auto wire = protocol::WireAddress(address);
  const uint8_t a[3] = {wire[0], wire[1], wire[2]};
  return packet::ReadBackRequest(count, a);
}

// Hands `frame` to the model as a line at the model's speed would, from `start_us` on.
// Returns the model's actions.
inline std::vector<sim::Action> Deliver(sim::UpsModel& model, std::span<const uint8_t> frame,
                                        uint64_t start_us, bool noise = false) {
  std::vector<uint64_t> arrival;
  for (size_t i = 0; i < frame.size(); ++i) {
    arrival.push_back(start_us + sim::WireTime_us(i + 1, model.Baud()));
  }
  return model.Receive(frame, arrival, noise);
}

// The bytes of every send among `actions`, one after the other.
inline std::vector<uint8_t> Sent(const std::vector<sim::Action>& actions) {
  std::vector<uint8_t> bytes;
  for (const auto& action : actions) {
    if (action.kind == sim::Action::Kind::kSend) {
      bytes.insert(bytes.end(), action.bytes.begin(), action.bytes.end());
    }
  }
  return bytes;
}

// A model with its own clock: every request goes out a second after the previous one.
class ModelDriver {
 public:
  explicit ModelDriver(sim::UpsConfig config) : model(std::move(config)) {}
  std::vector<uint8_t> Ask(const packet::Frame& frame) { return Ask(Bytes(frame)); }
  std::vector<uint8_t> Ask(const std::vector<uint8_t>& frame) {
    now_us += 60'000'000;  // well after any erase
    last = Deliver(model, frame, now_us);
    return Sent(last);
  }
  sim::UpsModel model;
  std::vector<sim::Action> last;
  uint64_t now_us = 0;
};

// The utility's serial port, COM1, on a fake line with the simulated UPS at its far end, on
// a virtual clock installed for the lifetime of this object.
struct LineBench {
  explicit LineBench(sim::UpsConfig config, int baud = 2400) : ups(line, std::move(config)) {
    ports.Attach("COM1", line);
    EXPECT_TRUE(port.Open(1, baud));
  }
  packet::Outcome Exchange(const packet::Frame& request, uint32_t first_limit_ms) {
    packet::SendRequest(port, request);
    return packet::ReadStepwise(port, buffer, first_limit_ms, 2000);
  }
  // The payload of the reply in `buffer`.
  std::vector<uint8_t> Payload() const {
    return {buffer.begin() + protocol::kHeaderBytes,
            buffer.begin() + protocol::kHeaderBytes + buffer[2]};
  }

  platform::VirtualClock clock;
  platform::ScopedClock scoped_clock{clock};
  platform::FakeLine line{clock};
  sim::FakeLineUps ups;
  platform::FakePorts ports;
  platform::ScopedPorts scoped_ports{ports};
  TRIComm port;
  std::array<uint8_t, 256> buffer{};
};

}  // namespace simtest
