#include "sim/FakeLineUps.h"

namespace sim {

FakeLineUps::FakeLineUps(platform::FakeLine& line, UpsConfig config)
    : line_(line), model_(std::move(config)) {
  line_.SetDeviceBaud(model_.Baud());
  line_.AttachDevice(this);
}

FakeLineUps::~FakeLineUps() { line_.AttachDevice(nullptr); }

void FakeLineUps::OnReceive(platform::FakeLine& line, const std::vector<uint8_t>& bytes,
                            const std::vector<uint64_t>& arrival_us, bool noise) {
  if (bytes.empty()) return;
  // A return to the first speed that fell due while the line was quiet comes first; the
  // bytes that woke the UPS were sampled at the speed it had until then.
  Apply(model_.Idle(arrival_us.front()));
  noise = noise || line.HostBaud() != line.DeviceBaud();
  Apply(model_.Receive(bytes, arrival_us, noise));
}

void FakeLineUps::Apply(const std::vector<Action>& actions) {
  for (const Action& action : actions) {
    switch (action.kind) {
      case Action::Kind::kSend:
        line_.DeviceSend(action.bytes, action.at_us);
        break;
      case Action::Kind::kSetBaud:
        line_.SetDeviceBaud(action.baud);
        break;
      case Action::Kind::kVanish:
        line_.Vanish();
        break;
    }
  }
}

}  // namespace sim
