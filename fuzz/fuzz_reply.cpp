// Every read of a reply fed arbitrary device bytes on the fake line in virtual time.
//
// Input: byte 0 picks up to four reads in a row (two bits each: stepwise, version, excluded
// range, negotiation); byte 1 picks the stepwise read's buffer size and limits; the rest is
// cut into timed replies (see FuzzLine.h), all sent from the start, one after the other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/FuzzLine.h"
#include "platform/Clock.h"
#include "platform/FakeLine.h"
#include "serial/Packet.h"
#include "serial/TRIComm.h"

namespace {

constexpr size_t kBufferSizes[] = {4, 5, 8, 20, 36, 64, 200, 256};
constexpr uint32_t kLimits_ms[] = {0, 5, 500, 2000};

void Check(bool condition) {
  if (!condition) std::abort();
}

void Stepwise(uint8_t pick) {
  std::vector<uint8_t> buffer(kBufferSizes[pick & 7]);
  const packet::Outcome outcome =
      packet::ReadStepwise(*RIComm, buffer, kLimits_ms[(pick >> 3) & 3], kLimits_ms[pick >> 6]);
  if (outcome == packet::Outcome::kValid) {
    const size_t body = protocol::kHeaderBytes + buffer[2];
    Check(buffer[0] == protocol::kStartByte);
    Check(body < buffer.size());
    Check(protocol::Sum({buffer.data(), body}) == buffer[body]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  platform::VirtualClock clock;
  platform::ScopedClock use_clock(clock);
  platform::FakeLine line(clock);
  platform::FakePorts ports;
  ports.Attach("COM1", line);
  platform::ScopedPorts use_ports(ports);
  FuzzDevice device(CutReplies(data + 2, size - 2));
  line.AttachDevice(&device);
  if (!RIComm->Open(1, 2400)) std::abort();
  // Every reply goes on the wire now, each after the previous one and its delay.
  for (size_t i = 0; i < 64; ++i) device.SendNext(line, clock.Now_us());

  for (int k = 0; k < 4; ++k) {
    switch ((data[0] >> (2 * k)) & 3) {
      case 0:
        Stepwise(data[1]);
        break;
      case 1:
        if (const auto versions = packet::ReadVersionReply(*RIComm)) {
          Check(versions->ups_firmware.size() <= protocol::kVersionTextBytes);
          Check(versions->programmer.size() <= protocol::kVersionTextBytes);
        }
        break;
      case 2:
        packet::ReadExcludedRangeReply(*RIComm);
        break;
      case 3: {
        const packet::NegotiationReply reply =
            packet::ReadNegotiationReply(*RIComm, kLimits_ms[data[1] & 3]);
        if (reply.outcome == packet::Outcome::kValid) {
          Check(protocol::kHeaderBytes + reply.length + 1 <= packet::kNegotiationBufferBytes);
        }
        break;
      }
    }
  }
  RIComm->Close();
  line.AttachDevice(nullptr);
  return 0;
}
