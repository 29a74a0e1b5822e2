// The packet frame as bytes on the wire: every request, and how replies are judged.
#include <gtest/gtest.h>

#include "serial/Packet.h"
#include "support/ScriptedDevice.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Of(const packet::Frame& frame) { return Bytes(frame.View().begin(), frame.View().end()); }

TEST(Requests, AreExactlyTheirBytes) {
  const uint8_t file_id[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  const uint8_t data[] = {0xAA, 0x55};
  const uint8_t wire_4000[3] = {0x00, 0x00, 0x40};
  const struct {
    const char* name;
    packet::Frame frame;
    Bytes bytes;
  } cases[] = {
      {"address inquiry", packet::AddressInquiryRequest(), {0x01, 0x08, 0x00, 0x09}},
      {"version query", packet::VersionQueryRequest(), {0x01, 0x0B, 0x00, 0x0C}},
      {"excluded range", packet::ExcludedRangeInquiryRequest(), {0x01, 0x0E, 0x00, 0x0F}},
      {"erase", packet::EraseRequest(), {0x01, 0x03, 0x01, 0x01, 0x06}},
      {"program 0x4000",
       packet::ProgramRequest(0x4000, data),
       {0x01, 0x01, 0x05, 0x02, 0x00, 0x40, 0xAA, 0x55, 0x48}},
      {"wide program 0x4000",
       packet::WideProgramRequest(wire_4000, data),
       {0x01, 0x09, 0x06, 0x02, 0x00, 0x00, 0x40, 0xAA, 0x55, 0x51}},
      {"read back 0x4000",
       packet::ReadBackRequest(0x40, wire_4000),
       {0x01, 0x0D, 0x04, 0x40, 0x00, 0x00, 0x40, 0x92}},
      {"checksum 0x2245",
       packet::ChecksumComparisonRequest(0x2245),
       {0x01, 0x06, 0x02, 0x45, 0x22, 0x70}},
      {"negotiation",
       packet::NegotiationRequest(file_id),
       {0x01, 0x0A, 0x04, 0xDE, 0xAD, 0xBE, 0xEF, 0x47}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Of(c.frame), c.bytes) << c.name;
  }
}

TEST(WireAddress, PutsBits16To23FirstThenTheLowAndMiddleBytes) {
  EXPECT_EQ(protocol::WireAddress(0x012345), (std::array<uint8_t, 3>{0x01, 0x45, 0x23}));
  EXPECT_EQ(protocol::WireAddress(0x4000), (std::array<uint8_t, 3>{0x00, 0x00, 0x40}));
  const uint8_t wire[3] = {0x01, 0x45, 0x23};
  EXPECT_EQ(protocol::FromWireAddress(wire), 0x012345u);
  const uint8_t plain[3] = {0x45, 0x23, 0x01};
  EXPECT_EQ(protocol::FromLowFirst24(plain), 0x012345u);
}

// Replies of the stepwise read, fed to the utility over the fake line.
struct ReplyCase {
  const char* name;
  Bytes reply;
  packet::Outcome outcome;
};

class StepwiseRead : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(StepwiseRead, JudgesTheReply) {
  ScriptedLine scripted;
  TRIComm port;
  ASSERT_TRUE(port.Open(1, 2400));
  if (!GetParam().reply.empty()) scripted.device.Queue(GetParam().reply);
  packet::SendRequest(port, packet::EraseRequest());
  uint8_t buffer[256] = {};
  EXPECT_EQ(packet::ReadStepwise(port, buffer, 40000, 500), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, StepwiseRead,
    ::testing::Values(
        ReplyCase{"silence", {}, packet::Outcome::kNoReply},
        ReplyCase{"erase success", {0x01, 0x03, 0x01, 0x00, 0x05}, packet::Outcome::kValid},
        ReplyCase{"erase vpp", {0x01, 0x03, 0x01, 0x25, 0x2A}, packet::Outcome::kValid},
        ReplyCase{"last byte changed", {0x01, 0x03, 0x01, 0x25, 0x2B}, packet::Outcome::kSumError},
        ReplyCase{"no payload", {0x01, 0x03, 0x00, 0x04}, packet::Outcome::kValid},
        ReplyCase{"nak then bytes", {0x15, 0x01, 0x03}, packet::Outcome::kNak},
        ReplyCase{"stray first byte", {0x02, 0x03, 0x00, 0x05}, packet::Outcome::kStrayByte},
        ReplyCase{"start byte alone", {0x01}, packet::Outcome::kLostHeader},
        ReplyCase{"cut after the header", {0x01, 0x0D, 0xF2}, packet::Outcome::kSumError}),
    [](const ::testing::TestParamInfo<ReplyCase>& param_info) {
      std::string name = param_info.param.name;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST(StepwiseRead, NeverStoresAReplyPastItsBuffer) {
  ScriptedLine scripted;
  TRIComm port;
  scripted.line.SetDeviceBaud(38400);
  ASSERT_TRUE(port.Open(1, 38400));
  Bytes long_reply = {0x01, 0x0D, 200};
  long_reply.resize(3 + 200, 0x11);
  long_reply.push_back(protocol::Sum(long_reply));
  scripted.device.Queue(long_reply);
  packet::SendRequest(port, packet::AddressInquiryRequest());
  // A 20-byte buffer guarded by canaries.
  uint8_t buffer[20 + 8] = {};
  std::fill(std::begin(buffer) + 20, std::end(buffer), 0xCC);
  EXPECT_EQ(packet::ReadStepwise(port, {buffer, 20}, 2000, 2000), packet::Outcome::kSumError);
  for (int i = 20; i < 28; ++i) EXPECT_EQ(buffer[i], 0xCC);
  // The long reply was taken off the line, not left for the next read.
  EXPECT_EQ(scripted.line.PendingToHost(), 0u);
}

TEST(Status, IsJudgedByItsHighNibbleWithTheErasesOwnTable) {
  using Kind = packet::StatusVerdict::Kind;
  const struct {
    uint8_t status;
    Kind erase;
    const char* erase_text;
    Kind program;
    const char* program_text;
  } cases[] = {
      {0x00, Kind::kSuccess, nullptr, Kind::kSuccess, nullptr},
      {0x0F, Kind::kSuccess, nullptr, Kind::kSuccess, nullptr},
      {0x04, Kind::kSuccess, nullptr, Kind::kSuccess, nullptr},  // the sum of 01 03 00
      {0x10, Kind::kRefused, "UPS: Operation Failed!", Kind::kRefused, "UPS: Operation Failed!"},
      {0x25, Kind::kRefused, "UPS: Vpp Voltage Out of Range!", Kind::kRefused,
       "UPS: Vpp Voltage Out of Range!"},
      {0x35, Kind::kRefused, "File Is Not Belong To The UPS!", Kind::kUnrecognised, nullptr},
      {0x40, Kind::kRefused, "UPS: Incorrect Cmd/Para!", Kind::kRefused,
       "UPS: Incorrect Cmd/Para!"},
      {0x80, Kind::kRefused, "UPS: Busy!", Kind::kRefused, "UPS: Busy!"},
      {0x55, Kind::kUnrecognised, nullptr, Kind::kUnrecognised, nullptr},
      {0xF0, Kind::kUnrecognised, nullptr, Kind::kUnrecognised, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.status));
    const auto erase = packet::JudgeEraseStatus(c.status);
    const auto program = packet::JudgeProgramStatus(c.status);
    EXPECT_EQ(erase.kind, c.erase);
    EXPECT_EQ(program.kind, c.program);
    EXPECT_STREQ(erase.message ? erase.message : "", c.erase_text ? c.erase_text : "");
    EXPECT_STREQ(program.message ? program.message : "", c.program_text ? c.program_text : "");
  }
}

TEST(NegotiationReply, GivesModeAndExponentOrNoReply) {
  const struct {
    Bytes reply;
    packet::Outcome outcome;
    uint8_t length, mode, exponent;
  } cases[] = {
      {{0x01, 0x0A, 0x02, 0x10, 0x03, 0x20}, packet::Outcome::kValid, 2, 0x10, 3},
      {{0x01, 0x0A, 0x01, 0x00, 0x0C}, packet::Outcome::kValid, 1, 0x00, 0},
      {{0x01, 0x0A, 0x00, 0x0B}, packet::Outcome::kValid, 0, 0, 0},
      {{0x01, 0x0A, 0x02, 0x10, 0x03, 0x21}, packet::Outcome::kSumError, 0, 0, 0},
      {{0x01, 0x0B, 0x02, 0x10, 0x03, 0x21}, packet::Outcome::kNoReply, 0, 0, 0},
      {{0x15}, packet::Outcome::kNoReply, 0, 0, 0},
      {{}, packet::Outcome::kNoReply, 0, 0, 0},
  };
  for (const auto& c : cases) {
    ScriptedLine scripted;
    TRIComm port;
    ASSERT_TRUE(port.Open(1, 2400));
    const uint8_t file_id[4] = {1, 2, 3, 4};
    if (!c.reply.empty()) scripted.device.Queue(c.reply);
    packet::SendRequest(port, packet::NegotiationRequest(file_id));
    const auto reply = packet::ReadNegotiationReply(port, 1000);
    EXPECT_EQ(reply.outcome, c.outcome);
    if (c.outcome == packet::Outcome::kValid) {
      EXPECT_EQ(reply.length, c.length);
      EXPECT_EQ(reply.mode, c.mode);
      EXPECT_EQ(reply.exponent, c.exponent);
    }
  }
}

TEST(ExcludedRangeReply, KeepsWireOrderAndRefusesOtherLengths) {
  const struct {
    Bytes reply;
    packet::Outcome outcome;
  } cases[] = {
      {{0x01, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x75}, packet::Outcome::kValid},
      {{0x01, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x76}, packet::Outcome::kSumError},
      // A length of 7 would put the sum byte past the ten bytes read.
      {{0x01, 0x0E, 0x07, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x75}, packet::Outcome::kSumError},
      {{0x02, 0x0E, 0x06, 0x01, 0x00, 0x20, 0x01, 0xFF, 0x3F, 0x75}, packet::Outcome::kNoReply},
      {{0x01, 0x0E, 0x06}, packet::Outcome::kNoReply},
  };
  for (const auto& c : cases) {
    ScriptedLine scripted;
    TRIComm port;
    ASSERT_TRUE(port.Open(1, 2400));
    scripted.device.Queue(c.reply);
    packet::SendRequest(port, packet::ExcludedRangeInquiryRequest());
    const auto range = packet::ReadExcludedRangeReply(port);
    EXPECT_EQ(range.outcome, c.outcome);
    if (c.outcome == packet::Outcome::kValid) {
      EXPECT_EQ(Bytes(range.start, range.start + 3), (Bytes{0x01, 0x00, 0x20}));
      EXPECT_EQ(Bytes(range.end, range.end + 3), (Bytes{0x01, 0xFF, 0x3F}));
    }
  }
}

TEST(SendRequest, FlushesStaleInputThenWritesTheWholeFrame) {
  ScriptedLine scripted;
  TRIComm port;
  ASSERT_TRUE(port.Open(1, 2400));
  scripted.line.DeviceSend({0x01, 0x03, 0x01, 0x00, 0x05}, scripted.clock.Now_us());
  scripted.clock.Advance_us(100'000);  // the late reply has arrived
  packet::SendRequest(port, packet::AddressInquiryRequest());
  EXPECT_EQ(scripted.line.HostWritten(), (Bytes{0x01, 0x08, 0x00, 0x09}));
  uint8_t buffer[256];
  EXPECT_EQ(packet::ReadStepwise(port, buffer, 500, 500), packet::Outcome::kNoReply);
}

}  // namespace
