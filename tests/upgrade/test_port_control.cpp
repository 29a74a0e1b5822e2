// "&Open"/"&Close", the port selection and "&Get UPS Version", on the fake line.
#include <gtest/gtest.h>

#include "serial/Protocol.h"
#include "serial/TRIComm.h"
#include "support/FormFixture.h"
#include "support/Frames.h"
#include "support/ScriptedDevice.h"

namespace {

using Bytes = std::vector<uint8_t>;

class PortControl : public FormFixture {
 protected:
  ScriptedLine scripted;
  platform::VirtualClock& clock = scripted.clock;
  platform::FakeLine com3{scripted.clock};

  void SetUp() override {
    FormFixture::SetUp();
    scripted.ports.Attach("COM3", com3);
  }

  // A version reply carrying the two 16-byte fields.
  static Bytes VersionReply(const Bytes& ups, const Bytes& programmer) {
    Bytes payload = ups;
    payload.insert(payload.end(), programmer.begin(), programmer.end());
    return FrameOf(protocol::Command::kVersionQuery, payload);
  }
  static Bytes Field(const std::string& text) {
    Bytes field(text.begin(), text.end());
    field.resize(16, 0);
    return field;
  }
};

TEST_F(PortControl, OpensTheSelectedPortAt2400AndClosesIt) {
  form->CB_COMPort->Choose(2);
  form->BUT_OPEN->Click();
  EXPECT_TRUE(form->ComOpened);
  EXPECT_FALSE(form->OpenOnClick);
  EXPECT_EQ(form->BUT_OPEN->Caption(), "&Close");
  EXPECT_TRUE(com3.HostOpen());
  EXPECT_EQ(com3.HostBaud(), 2400);
  EXPECT_FALSE(scripted.line.HostOpen());

  form->BUT_OPEN->Click();
  EXPECT_FALSE(form->ComOpened);
  EXPECT_TRUE(form->OpenOnClick);
  EXPECT_EQ(form->BUT_OPEN->Caption(), "&Open");
  EXPECT_FALSE(com3.HostOpen());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PortControl, AMissingPortShowsABoxAndStaysClosed) {
  form->CB_COMPort->Choose(1);  // COM2 has no line
  form->BUT_OPEN->Click();
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"", "Open COM Port Failed!"}}));
  EXPECT_FALSE(form->ComOpened);
  EXPECT_TRUE(form->OpenOnClick);
  EXPECT_EQ(form->BUT_OPEN->Caption(), "&Open");
}

TEST_F(PortControl, ChangingTheSelectionWhileOpenClosesThePort) {
  form->BUT_OPEN->Click();
  ASSERT_TRUE(scripted.line.HostOpen());
  form->CB_COMPort->Choose(1);
  EXPECT_FALSE(scripted.line.HostOpen());
  EXPECT_FALSE(form->ComOpened);
  EXPECT_EQ(form->BUT_OPEN->Caption(), "&Open");
  // While closed a change does nothing else; the next "&Open" takes the new port.
  form->CB_COMPort->Choose(2);
  EXPECT_FALSE(com3.HostOpen());
  form->BUT_OPEN->Click();
  EXPECT_TRUE(com3.HostOpen());
}

TEST_F(PortControl, LostStateClosesWithoutCloseAndOpensAgain) {
  form->BUT_OPEN->Click();
  form->ComOpened = false;  // a reopen during a run failed
  form->BUT_OPEN->Click();
  EXPECT_EQ(form->BUT_OPEN->Caption(), "&Open");
  EXPECT_TRUE(form->OpenOnClick);
  // The port the utility still held is given up by the next open, which therefore works.
  form->BUT_OPEN->Click();
  EXPECT_TRUE(form->ComOpened);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PortControl, VersionQueryNeedsAnOpenPort) {
  form->Button1->Click();
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"Burn", "Please open a COM Port!"}}));
  EXPECT_TRUE(scripted.line.HostWritten().empty());
}

TEST_F(PortControl, VersionQueryShowsBothTexts) {
  const struct {
    Bytes ups, programmer;
    std::string ups_text, programmer_text;
  } cases[] = {
      {Field("FW 1.02"), Field("PRG 7"), "FW 1.02", "PRG 7"},
      {Field("ABCDEFGHIJKLMNOP"), Field(""), "ABCDEFGHIJKLMNOP", ""},
  };
  form->BUT_OPEN->Click();
  for (const auto& c : cases) {
    scripted.line.ClearHostWritten();
    scripted.device.Queue(VersionReply(c.ups, c.programmer));
    form->Button1->Click();
    EXPECT_EQ(scripted.line.HostWritten(), (Bytes{0x01, 0x0B, 0x00, 0x0C}));
    EXPECT_EQ(form->L_UPSVersion->Caption(), c.ups_text);
    EXPECT_EQ(form->L_ProgrammerVersion->Caption(), c.programmer_text);
  }
}

TEST_F(PortControl, UnansweredOrBadVersionQueryShowsNothing) {
  form->BUT_OPEN->Click();
  scripted.device.Queue(VersionReply(Field("OLD"), Field("KEEP")));
  form->Button1->Click();
  Bytes bad_sum = VersionReply(Field("X"), Field("Y"));
  bad_sum.back() ^= 1;
  Bytes short_length = VersionReply(Field("X"), Field("Y"));
  short_length[2] = 0x10;
  for (const Bytes& reply : {Bytes{}, bad_sum, short_length}) {
    if (!reply.empty()) scripted.device.Queue(reply);
    const uint64_t before = clock.Now_us();
    form->Button1->Click();
    EXPECT_EQ(form->L_UPSVersion->Caption(), "");
    EXPECT_EQ(form->L_ProgrammerVersion->Caption(), "KEEP");
    EXPECT_TRUE(boxes.empty());
    if (reply.empty()) {
      EXPECT_GE(clock.Now_us() - before, 1'000'000u);
    }
  }
}

}  // namespace
