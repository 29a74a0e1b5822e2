// A device for the fake line that answers with fuzzer-provided bytes.
//
// The input is cut into replies: each reply is a header of two bytes (its length, and its
// delay in units of 20 ms after the request has arrived) and then that many bytes; a
// header without all its bytes takes what is left. The device follows the host's speed, so
// that the bytes arrive as sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/FakeLine.h"

struct FuzzReply {
  std::vector<uint8_t> bytes;
  uint32_t delay_ms = 0;
};

// Cuts `data` into replies as described above.
std::vector<FuzzReply> CutReplies(const uint8_t* data, size_t size);

class FuzzDevice final : public platform::FakeLine::Device {
 public:
  explicit FuzzDevice(std::vector<FuzzReply> replies) : replies_(std::move(replies)) {}
  // Every host write is one request; it gets the next reply, or silence when none is left.
  void OnReceive(platform::FakeLine& line, const std::vector<uint8_t>& bytes,
                 const std::vector<uint64_t>& arrival_us, bool noise) override;
  // Sends the next reply now, without a request (for reads that need none).
  void SendNext(platform::FakeLine& line, uint64_t now_us);
  size_t Requests() const { return requests_; }

 private:
  std::vector<FuzzReply> replies_;
  size_t next_ = 0;
  size_t requests_ = 0;
};
