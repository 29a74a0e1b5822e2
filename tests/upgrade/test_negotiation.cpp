// "&Upgrade": its preconditions and the speed negotiation, on the fake line.
#include <gtest/gtest.h>

#include <QWidget>
#include <QWindow>

#include "serial/Protocol.h"
#include "serial/TRIComm.h"
#include "support/FormFixture.h"
#include "support/Frames.h"
#include "support/ScriptedDevice.h"
#include "upgrade/Negotiation.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Counts the opens that reach the ports.
class CountingPorts final : public platform::SerialPorts {
 public:
  explicit CountingPorts(platform::SerialPorts& inner) : inner_(inner) {}
  std::unique_ptr<platform::SerialLine> Open(std::string_view name) override {
    ++opens;
    return inner_.Open(name);
  }
  int opens = 0;

 private:
  platform::SerialPorts& inner_;
};

class Negotiation : public FormFixture {
 protected:
  ScriptedLine scripted;
  CountingPorts counting{scripted.ports};

  void SetUp() override {
    FormFixture::SetUp();
    platform::SetPorts(&counting);
    form->FileInfo.FileID[0] = 0x12;
    form->FileInfo.FileID[1] = 0x34;
    form->FileInfo.FileID[2] = 0x56;
    form->FileInfo.FileID[3] = 0x78;
    // While the UPS is asked, the waiting window must be on the screen: shown, and exposed
    // (under a real X server: mapped and painted) before the handler blocked.
    scripted.device.on_request = [this](const Bytes&) {
      const QWindow* window = checking->Widget()->windowHandle();
      checking_seen_during_negotiation =
          checking->Visible() && window != nullptr && window->isExposed();
    };
  }
  void OpenAndLoad(int lines = 3) {
    form->BUT_OPEN->Click();
    ASSERT_TRUE(form->ComOpened);
    for (int i = 0; i < lines; ++i) form->MM_HEX->Lines.Add("4000 AA ");
    form->FileLoaded = true;
    counting.opens = 0;
  }
  static Bytes Reply(const Bytes& payload) {
    return FrameOf(protocol::Command::kNegotiation, payload);
  }
  bool checking_seen_during_negotiation = false;
};

TEST_F(Negotiation, PortClosedAndNoFileShowsOnlyThePortBox) {
  form->BUT_BURN->Click();
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"Burn", "Please open a COM Port!"}}));
  EXPECT_EQ(counting.opens, 0);
}

TEST_F(Negotiation, NoFileShowsTheFileBoxAndDoesNotReopen) {
  form->BUT_OPEN->Click();
  counting.opens = 0;
  form->BUT_BURN->Click();
  EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"Burn", "Please load a hex file!"}}));
  EXPECT_EQ(counting.opens, 0);
  EXPECT_TRUE(scripted.line.HostWritten().empty());
}

TEST_F(Negotiation, SendsTheFileIdAndAppliesTheReply) {
  const struct {
    const char* name;
    Bytes payload;
    int32_t wide;
    int32_t baud;
    int opens;  // the reopen at 2400, and one more when the speed changes
  } cases[] = {
      {"2400, narrow", {0x00, 0x00}, 0, 2400, 1}, {"wide, exponent 2", {0x10, 0x02}, 1, 9600, 2},
      {"one-byte payload", {0x00}, 0, 9600, 2},   {"no payload", {}, 0, 9600, 2},
      {"exponent 4", {0x01, 0x04}, 0, 38400, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OpenAndLoad();
    scripted.line.ClearHostWritten();
    scripted.device.Queue(Reply(c.payload));
    form->BUT_BURN->Click();
    EXPECT_EQ(scripted.line.HostWritten(), (Bytes{0x01, 0x0A, 0x04, 0x12, 0x34, 0x56, 0x78, 0x23}));
    EXPECT_EQ(form->WideAddress, c.wide);
    EXPECT_EQ(scripted.line.HostBaud(), c.baud);
    EXPECT_EQ(counting.opens, c.opens);
    EXPECT_TRUE(form->Burning);
    EXPECT_TRUE(checking_seen_during_negotiation);
    EXPECT_FALSE(checking->Visible());
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(StatusColour(), clBlue);
    EXPECT_TRUE(boxes.empty());
    // Back to the start for the next case.
    form->Burning = false;
    form->BUT_OPEN->Click();
  }
}

TEST_F(Negotiation, FallsBackTo9600WhenThe2400StageIsSilent) {
  OpenAndLoad();
  // A UPS listening at 9600 hears the 2400 requests as noise.
  scripted.line.SetDeviceBaud(9600);
  scripted.device.Queue(Reply({0x00, 0x02}));
  const uint64_t start = scripted.clock.Now_us();
  form->BUT_BURN->Click();
  EXPECT_TRUE(form->Burning);
  EXPECT_EQ(scripted.line.HostBaud(), 9600);
  EXPECT_EQ(counting.opens, 2);  // the reopen at 2400 and the fall-back; none after the reply
  EXPECT_EQ(scripted.device.requests.size(), 1u);
  EXPECT_EQ(scripted.line.HostWritten().size(), 4 * 8u);
  // Three header waits of 1000 ms and the 3000 ms pause came first.
  EXPECT_GE(scripted.clock.Now_us() - start, 6'000'000u);
}

TEST_F(Negotiation, ASilentUpsEndsWithItsMessageAfterSixTries) {
  OpenAndLoad();
  const uint64_t start = scripted.clock.Now_us();
  form->BUT_BURN->Click();
  EXPECT_FALSE(form->Burning);
  EXPECT_EQ(Status(), "The UPS Does Not Response!");
  EXPECT_EQ(StatusColour(), clRed);
  EXPECT_FALSE(checking->Visible());
  EXPECT_TRUE(checking_seen_during_negotiation);
  EXPECT_EQ(scripted.line.HostWritten().size(), 6 * 8u);
  const uint64_t elapsed = scripted.clock.Now_us() - start;
  EXPECT_GE(elapsed, (3 * 1000 + 3000 + 3 * 500) * 1000u);
  EXPECT_LT(elapsed, (3 * 1000 + 3000 + 3 * 500 + 6 * 100) * 1000u);
  EXPECT_EQ(scripted.line.HostBaud(), 9600);
}

TEST_F(Negotiation, BadSumsShowChecksumErrorAndCostATryEach) {
  OpenAndLoad();
  Bytes bad = Reply({0x00, 0x00});
  bad.back() ^= 0xFF;
  for (int i = 0; i < 3; ++i) scripted.device.Queue(bad);
  form->BUT_BURN->Click();
  EXPECT_EQ(scripted.device.requests.size(), 3u);  // the 9600 stage is not heard
  EXPECT_NE(std::find(status_history.begin(), status_history.end(), "Checksum Error"),
            status_history.end());
  EXPECT_EQ(Status(), "The UPS Does Not Response!");
  EXPECT_FALSE(form->Burning);
}

TEST_F(Negotiation, AFailedReopenAtTheNewSpeedStillStartsTheRun) {
  for (const uint8_t exponent : {uint8_t{5}, uint8_t{20}, uint8_t{255}}) {
    SCOPED_TRACE(static_cast<int>(exponent));
    OpenAndLoad();
    scripted.device.Queue(Reply({0x00, exponent}));
    boxes.clear();
    form->BUT_BURN->Click();
    EXPECT_EQ(boxes, (std::vector<RecordedBox>{{"", "Open COM Port Failed!"}}));
    EXPECT_FALSE(form->ComOpened);
    EXPECT_TRUE(form->Burning);
    form->Burning = false;
    form->BUT_OPEN->Click();  // Lost: back to "&Open"
    EXPECT_EQ(form->BUT_OPEN->Caption(), "&Open");
  }
}

TEST_F(Negotiation, ProgressRunsOverTheListingPlusTwo) {
  OpenAndLoad(120);
  form->PB_BURN->SetPosition(50);
  scripted.device.Queue(Reply({0x00, 0x00}));
  form->BUT_BURN->Click();
  EXPECT_EQ(form->PB_BURN->Position(), 0);
  EXPECT_EQ(form->PB_BURN->Min(), 0);
  EXPECT_EQ(form->PB_BURN->Max(), 122);
}

TEST(NegotiatedSpeed, DoublesFrom2400AndRefusesWhatOverflows) {
  EXPECT_EQ(NegotiatedSpeed(2, 0), 2400);
  EXPECT_EQ(NegotiatedSpeed(2, 3), 19200);
  EXPECT_EQ(NegotiatedSpeed(2, 19), 2400 * (1 << 19));
  EXPECT_EQ(NegotiatedSpeed(2, 20), std::nullopt);
  EXPECT_EQ(NegotiatedSpeed(1, 20), 9600);
  EXPECT_EQ(NegotiatedSpeed(0, 0), 9600);
}

}  // namespace
