#include "fuzz/FuzzLine.h"

#include <algorithm>

std::vector<FuzzReply> CutReplies(const uint8_t* data, size_t size) {
  std::vector<FuzzReply> replies;
  size_t pos = 0;
  while (pos + 2 <= size) {
    const size_t length = std::min<size_t>(data[pos], size - pos - 2);
    FuzzReply reply;
    reply.delay_ms = uint32_t{data[pos + 1]} * 20;
    reply.bytes.assign(data + pos + 2, data + pos + 2 + length);
    replies.push_back(std::move(reply));
    pos += 2 + length;
  }
  return replies;
}

void FuzzDevice::OnReceive(platform::FakeLine& line, const std::vector<uint8_t>& bytes,
                           const std::vector<uint64_t>& arrival_us, bool /*noise*/) {
  if (bytes.empty()) return;
  ++requests_;
  SendNext(line, arrival_us.back());
}

void FuzzDevice::SendNext(platform::FakeLine& line, uint64_t now_us) {
  if (line.HostBaud() != 0) line.SetDeviceBaud(line.HostBaud());
  if (next_ >= replies_.size()) return;
  const FuzzReply& reply = replies_[next_++];
  if (!reply.bytes.empty()) line.DeviceSend(reply.bytes, now_us + uint64_t{reply.delay_ms} * 1000);
}
