#include "support/ScriptedDevice.h"

#include "serial/Protocol.h"

void ScriptedDevice::OnReceive(platform::FakeLine& line, const std::vector<uint8_t>& bytes,
                               const std::vector<uint64_t>& arrival_us, bool noise) {
  if (noise) return;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (partial_.empty() && bytes[i] != protocol::kStartByte) continue;
    partial_.push_back(bytes[i]);
    if (partial_.size() < protocol::kHeaderBytes) continue;
    if (partial_.size() < protocol::kHeaderBytes + partial_[2] + 1u) continue;
    requests.push_back(partial_);
    request_times_us.push_back(arrival_us[i]);
    partial_.clear();
    if (on_request) on_request(requests.back());
    if (replies_.empty()) continue;
    Reply reply = std::move(replies_.front());
    replies_.pop_front();
    if (!reply.bytes.empty()) {
      line.DeviceSend(reply.bytes, arrival_us[i] + uint64_t{reply.delay_ms} * 1000);
    }
  }
}

ScriptedLine::ScriptedLine() {
  line.AttachDevice(&device);
  ports.Attach("COM1", line);
  platform::SetClock(&clock);
  platform::SetPorts(&ports);
}

ScriptedLine::~ScriptedLine() {
  platform::SetPorts(nullptr);
  platform::SetClock(nullptr);
}
