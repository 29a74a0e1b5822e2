// A window in the middle of a run, on the fake line: the state that the inquiry and the erase
// leave for programming, and the replies the UPS gives, tick by tick.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "serial/Protocol.h"
#include "serial/TRIComm.h"
#include "support/FormFixture.h"
#include "support/Frames.h"
#include "support/ScriptedDevice.h"
#include "upgrade/SequencerVars.h"

class StepFixture : public FormFixture {
 public:
  using Bytes = std::vector<uint8_t>;

  // Reply frames, as the UPS sends them.
  static Bytes Frame(uint8_t command, const Bytes& payload) {
    return FrameOf(static_cast<protocol::Command>(command), payload);
  }
  static Bytes WithBadSum(Bytes frame) {
    frame.back() ^= 0x5A;
    return frame;
  }
  static Bytes ProgramReply(uint8_t status) { return Frame(0x01, {status}); }
  static Bytes ReadBackReply(const Bytes& data) { return Frame(0x0D, data); }
  static Bytes ChecksumReply(uint8_t status) { return Frame(0x06, {status}); }

 protected:
  void SetUp() override {
    FormFixture::SetUp();
    ASSERT_TRUE(RIComm->Open(1, 2400));
    form->CB_Default->SetItemIndex(1);
    form->StartAddr = 0x4000;
    form->RomSize = 0x1000;
    form->AddrBytes = 2;
    form->WideAddress = 0;
  }

  void Listing(std::initializer_list<std::string> lines) {
    for (const std::string& line : lines) form->MM_HEX->Lines.Add(line);
    form->MM_HEX->LinesChanged();
  }
  // The excluded range, both ends inclusive, as the excluded range reply stores it.
  void Exclude(uint32_t first, uint32_t last) {
    const auto start = protocol::WireAddress(first);
    const auto end = protocol::WireAddress(last);
    std::copy(start.begin(), start.end(), form->ExcludeStart);
    std::copy(end.begin(), end.end(), form->ExcludeEnd);
  }

  // A run in `step`, as the tick handler has taken it up.
  void EnterStep(int32_t step) {
    form->Burning = true;
    TickStarted = true;
    form->BurnStep = step;
    FailCount = 0;
    TicksWithoutProgress = 0;
    BlockMismatches = 0;
  }
  // Programming as a successful erase hands it over; the progress range is set as the start
  // of the run sets it.
  void EnterProgramming() {
    form->PB_BURN->SetMin(0);
    form->PB_BURN->SetMax(form->MM_HEX->Lines.Count() + 2);
    form->PB_BURN->SetPosition(1);
    form->BurnedBytes = 0;
    LineIndex = 0;
    SentLine = 0;
    FirstPacket = 1;
    form->ShowStatus("UPS: Sections Cleard!", clBlue);
    EnterStep(kStepProgram);
  }

  void Tick() { form->Timer1Timer(nullptr); }
  // Ticks until `done` holds, at most `limit` times; returns the ticks it took.
  int TickUntil(const std::function<bool()>& done, int limit = 200) {
    int ticks = 0;
    while (!done() && ticks < limit) {
      Tick();
      ++ticks;
    }
    EXPECT_TRUE(done()) << "not reached in " << limit << " ticks";
    return ticks;
  }

  // The answer to the next request; an empty reply is silence.
  void Answer(const Bytes& reply) {
    if (reply.empty()) {
      scripted.device.QueueSilence();
    } else {
      scripted.device.Queue(reply);
    }
  }
  const std::vector<Bytes>& Requests() const { return scripted.device.requests; }

  ScriptedLine scripted;
};
