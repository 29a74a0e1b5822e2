// The simulated UPS at the device end of a fake line, on the virtual clock.
//
//   platform::VirtualClock clock;
//   platform::FakeLine line(clock);
//   sim::FakeLineUps ups(line, config);        // attaches itself as the line's device
//   platform::FakePorts ports; ports.Attach("COM1", line);
//   ... the utility talks to COM1 ...
//   ups.Model().Read(0x4000), ups.Model().Log().Text(), ups.Model().Faults().Hits(0)
//
// Replies go out with DeviceSend at the times the model gives (the request's wire time is in
// the arrival times the line reports); speed changes go to SetDeviceBaud after the reply has
// been handed to the line; a vanishing UPS pulls the cable (Vanish). Bytes the line flags as
// noise, or that the host sent at another speed than the UPS now listens at, are garbage to
// the UPS.
#pragma once

#include "platform/FakeLine.h"
#include "sim/UpsModel.h"

namespace sim {

class FakeLineUps final : public platform::FakeLine::Device {
 public:
  FakeLineUps(platform::FakeLine& line, UpsConfig config);
  ~FakeLineUps() override;
  FakeLineUps(const FakeLineUps&) = delete;
  FakeLineUps& operator=(const FakeLineUps&) = delete;

  UpsModel& Model() { return model_; }
  const UpsModel& Model() const { return model_; }

  void OnReceive(platform::FakeLine& line, const std::vector<uint8_t>& bytes,
                 const std::vector<uint64_t>& arrival_us, bool noise) override;

 private:
  void Apply(const std::vector<Action>& actions);

  platform::FakeLine& line_;
  UpsModel model_;
};

}  // namespace sim
