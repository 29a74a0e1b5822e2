// The fake line's timing in virtual time, and the serial port object over it.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "CheckedRead.h"
#include "RecordingPorts.h"
#include "platform/FakeLine.h"
#include "serial/TRIComm.h"

namespace {

using Bytes = std::vector<uint8_t>;
using platform::FakeLine;
using Reads = std::vector<PlatformRead>;

constexpr uint64_t kStart_us = 5'000'000;
constexpr uint64_t kByte2400_us = 4167;  // 10 bits at 2400 baud, rounded up

Bytes Counting(size_t count, uint8_t first = 0) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

struct RecordingDevice final : FakeLine::Device {
  struct Heard {
    Bytes bytes;
    std::vector<uint64_t> arrival_us;
    bool noise;
  };
  void OnReceive(FakeLine&, const Bytes& bytes, const std::vector<uint64_t>& arrival_us,
                 bool noise) override {
    heard.push_back({bytes, arrival_us, noise});
  }
  std::vector<Heard> heard;
};

class FakeLineTest : public ::testing::Test {
 protected:
  FakeLineTest() {
    fake.Attach("COM1", line);
    line.AttachDevice(&device);
  }
  uint64_t Elapsed_us() const { return clock.Now_us() - kStart_us; }
  // Sends from the device, starting `offset_us` from the test's start (negative: earlier).
  uint64_t SendAt(int64_t offset_us, const Bytes& bytes) {
    return line.DeviceSend(bytes,
                           static_cast<uint64_t>(static_cast<int64_t>(kStart_us) + offset_us));
  }
  std::unique_ptr<platform::SerialLine> OpenHost(int32_t baud) {
    auto host = fake.Open("COM1");
    EXPECT_TRUE(host && host->Configure({baud}));
    return host;
  }
  Bytes HostRead(platform::SerialLine& host, size_t count) {
    Bytes bytes(count);
    bytes.resize(host.Read(bytes.data(), count));
    return bytes;
  }

  platform::VirtualClock clock{kStart_us};
  FakeLine line{clock};
  platform::FakePorts fake;
  RecordingDevice device;
};

// --- The host end's platform read.

struct ReadCase {
  const char* name;
  friend void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }
  std::vector<std::pair<int64_t, size_t>> bursts;  // (start offset, byte count) at 2400 baud
  size_t count;
  size_t expect_got;
  uint64_t expect_elapsed_us;
  size_t expect_pending;
};

class FakeLineRead : public FakeLineTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(FakeLineRead, EndsAsThePlatformReadDoes) {
  const ReadCase& c = GetParam();
  auto host = OpenHost(2400);
  uint8_t next = 0;
  for (const auto& [offset, n] : c.bursts) {
    SendAt(offset, Counting(n, next));
    next = static_cast<uint8_t>(next + n);
  }
  EXPECT_EQ(HostRead(*host, c.count), Counting(c.expect_got));
  EXPECT_EQ(Elapsed_us(), c.expect_elapsed_us);
  EXPECT_EQ(line.PendingToHost(), c.expect_pending);
}

constexpr uint64_t B = kByte2400_us;
INSTANTIATE_TEST_SUITE_P(
    Cases, FakeLineRead,
    ::testing::Values(
        ReadCase{"AlreadyArrived", {{-100'000, 3}}, 3, 3, 0, 0},
        ReadCase{"EndsAtTheLastBytesArrival", {{0, 36}}, 36, 36, 36 * B, 0},
        ReadCase{"FewerThanAskedEndAtTheInterval", {{0, 3}}, 5, 3, 3 * B + 10'000, 0},
        ReadCase{"GapOverTheIntervalEndsTheRead", {{0, 2}, {30'000, 2}}, 4, 2, 2 * B + 10'000, 2},
        ReadCase{"GapWithinTheInterval", {{0, 2}, {2 * B + 5'000, 2}}, 4, 4, 4 * B + 5'000, 0},
        ReadCase{"SilentLineTakesTenMsPerByte", {}, 5, 0, 50'000, 0},
        ReadCase{"BytesAfterTheTotalTimeOutStayQueued", {{60'000, 1}}, 5, 0, 50'000, 1},
        ReadCase{"TotalTimeOutCutsAStream", {{45'000, 3}}, 5, 1, 50'000, 2}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(FakeLineTest, PurgeDropsArrivedBytesButNotThoseOnTheWire) {
  auto host = OpenHost(2400);
  SendAt(-100'000, {1, 2, 3});
  SendAt(0, {4, 5});
  host->Purge();
  EXPECT_EQ(line.PendingToHost(), 2u);
  EXPECT_EQ(HostRead(*host, 2), (Bytes{4, 5}));
}

TEST_F(FakeLineTest, HostWritesArePacedOnTheWireAndReturnAtOnce) {
  auto host = OpenHost(2400);
  ASSERT_TRUE(host->Write(Bytes{1, 2, 3}.data(), 3));
  EXPECT_EQ(Elapsed_us(), 0u);
  clock.Advance_us(1'000);
  ASSERT_TRUE(host->Write(Bytes{4}.data(), 1));  // waits for the wire
  clock.AdvanceTo_us(kStart_us + 100'000);
  ASSERT_TRUE(host->Write(Bytes{5}.data(), 1));  // idle wire: starts at once

  ASSERT_EQ(device.heard.size(), 3u);
  EXPECT_EQ(device.heard[0].bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(device.heard[0].arrival_us,
            (std::vector<uint64_t>{kStart_us + B, kStart_us + 2 * B, kStart_us + 3 * B}));
  EXPECT_EQ(device.heard[1].arrival_us, std::vector<uint64_t>{kStart_us + 4 * B});
  EXPECT_EQ(device.heard[2].arrival_us, std::vector<uint64_t>{kStart_us + 100'000 + B});
  for (const auto& heard : device.heard) EXPECT_FALSE(heard.noise);
  EXPECT_EQ(line.HostWritten(), (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(FakeLineTest, SpeedMismatchGarblesBothWays) {
  auto host = OpenHost(9600);
  const Bytes request = {0x01, 0x0B, 0x00, 0x0C};
  ASSERT_TRUE(host->Write(request.data(), request.size()));
  ASSERT_EQ(device.heard.size(), 1u);
  EXPECT_TRUE(device.heard[0].noise);
  EXPECT_EQ(device.heard[0].bytes.size(), request.size());
  for (size_t i = 0; i < request.size(); ++i) EXPECT_NE(device.heard[0].bytes[i], request[i]);
  EXPECT_EQ(line.HostWritten(), request);

  SendAt(0, request);  // at the device's 2400 baud
  const Bytes garbled = HostRead(*host, request.size());
  ASSERT_EQ(garbled.size(), request.size());
  for (size_t i = 0; i < request.size(); ++i) EXPECT_NE(garbled[i], request[i]);

  line.SetDeviceBaud(9600);
  line.DeviceSend(request, clock.Now_us());
  EXPECT_EQ(HostRead(*host, request.size()), request);
}

TEST_F(FakeLineTest, BytesReceivedBeforeASpeedChangeKeepTheirValues) {
  auto host = OpenHost(2400);
  SendAt(-100'000, {0x42});
  ASSERT_TRUE(host->Configure({9600}));
  EXPECT_EQ(HostRead(*host, 1), Bytes{0x42});
}

TEST_F(FakeLineTest, VanishedLineReadsNothingAfterItsTimeOutAndLosesWrites) {
  auto host = OpenHost(2400);
  SendAt(-100'000, {1});
  line.Vanish();
  SendAt(0, {2});
  EXPECT_EQ(HostRead(*host, 4), Bytes{});
  EXPECT_EQ(Elapsed_us(), 40'000u);
  EXPECT_FALSE(host->Write(Bytes{7}.data(), 1));
  EXPECT_TRUE(device.heard.empty());
  EXPECT_TRUE(line.HostWritten().empty());

  line.Reappear();
  EXPECT_TRUE(host->Write(Bytes{7}.data(), 1));
  EXPECT_EQ(device.heard.size(), 1u);
}

TEST_F(FakeLineTest, PortsOpenOnlyKnownLinesOnce) {
  EXPECT_EQ(fake.Open("COM2"), nullptr);
  SendAt(-100'000, {1, 2});  // arrives while nobody listens
  auto host = fake.Open("COM1");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(line.PendingToHost(), 0u);
  EXPECT_EQ(fake.Open("COM1"), nullptr);
  EXPECT_FALSE(host->Configure({1234}));
  ASSERT_TRUE(host->Configure({19200}));
  EXPECT_EQ(line.HostBaud(), 19200);
  host.reset();
  EXPECT_FALSE(line.HostOpen());
  EXPECT_EQ(line.HostBaud(), 0);
  EXPECT_NE(fake.Open("COM1"), nullptr);
}

TEST_F(FakeLineTest, HostEndOutlivingItsLineIsHarmless) {
  auto other = std::make_unique<FakeLine>(clock);
  auto host = other->OpenHost();
  ASSERT_NE(host, nullptr);
  other.reset();
  uint8_t byte = 0;
  EXPECT_EQ(host->Read(&byte, 1), 0u);
  EXPECT_FALSE(host->Write(&byte, 1));
  EXPECT_FALSE(host->Configure({2400}));
  host.reset();
}

// --- The serial port object over the fake line.

class FakeComm : public FakeLineTest {
 protected:
  std::optional<Bytes> ReadBytes(int count, uint32_t limit_ms) {
    return CheckedRead(comm, count, limit_ms);
  }

  platform::ScopedClock scoped_clock{clock};
  RecordingPorts ports{fake};
  platform::ScopedPorts scoped_ports{ports};
  TRIComm comm;
};

struct SilentCase {
  const char* name;
  friend void PrintTo(const SilentCase& c, std::ostream* out) { *out << c.name; }
  int count;
  uint32_t limit_ms;
  uint64_t start_us;
  uint64_t expect_elapsed_us;
  size_t expect_reads;
};

class FakeCommSilent : public FakeComm, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(FakeCommSilent, ReadEndsAtTheFirstPlatformReadPastItsLimit) {
  const SilentCase& c = GetParam();
  ASSERT_TRUE(comm.Open(1, 2400));
  clock.AdvanceTo_us(c.start_us);
  EXPECT_EQ(ReadBytes(c.count, c.limit_ms), std::nullopt);
  EXPECT_EQ(clock.Now_us() - c.start_us, c.expect_elapsed_us);
  EXPECT_EQ(ports.reads.size(), c.expect_reads);
}

constexpr uint64_t kBeforeWrap_us = ((uint64_t{1} << 32) - 500) * 1000;
INSTANTIATE_TEST_SUITE_P(
    Cases, FakeCommSilent,
    ::testing::Values(SilentCase{"OneByte", 1, 1000, kStart_us, 1'000'000, 100},
                      SilentCase{"OverrunsByOnePlatformRead", 36, 1000, kStart_us, 1'080'000, 3},
                      SilentCase{"FlushSized", 5, 5, kStart_us, 50'000, 1},
                      SilentCase{"AcrossTheTickWrap", 1, 1000, kBeforeWrap_us, 1'000'000, 100},
                      SilentCase{"LimitZero", 3, 0, kStart_us, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(FakeComm, ReadOf36BytesEndsWithTheLastArrival) {
  ASSERT_TRUE(comm.Open(1, 2400));
  const uint64_t last = line.DeviceSend(Counting(36), clock.Now_us());
  EXPECT_EQ(ReadBytes(36, 1000), Counting(36));
  EXPECT_EQ(clock.Now_us(), last);
  EXPECT_EQ(ports.reads, (Reads{{36, 36}}));
}

TEST_F(FakeComm, SecondPieceIsReadForTheMissingBytesOnly) {
  ASSERT_TRUE(comm.Open(1, 2400));
  SendAt(0, Counting(3));
  SendAt(100'000, Counting(5, 3));
  EXPECT_EQ(ReadBytes(5, 1000), Counting(5));
  EXPECT_EQ(Elapsed_us(), 100'000 + 2 * B);
  EXPECT_EQ(ports.reads, (Reads{{5, 3}, {2, 0}, {2, 0}, {2, 0}, {2, 0}, {2, 2}}));
  EXPECT_EQ(ReadBytes(3, 1000), Counting(3, 5));
}

TEST_F(FakeComm, PartialReadTimesOutAndDropsItsBytes) {
  ASSERT_TRUE(comm.Open(1, 2400));
  SendAt(0, {1, 2});
  EXPECT_EQ(ReadBytes(4, 100), std::nullopt);
  // 2 bytes and the interval, then 20 ms reads until one starts at or past 100 ms.
  EXPECT_EQ(Elapsed_us(), 2 * B + 10'000 + 5 * 20'000);
  EXPECT_EQ(line.PendingToHost(), 0u);
}

struct FlushCase {
  const char* name;
  friend void PrintTo(const FlushCase& c, std::ostream* out) { *out << c.name; }
  size_t queued;
  Reads expect_reads;
  uint64_t expect_elapsed_us;
};

class FakeCommFlush : public FakeComm, public ::testing::WithParamInterface<FlushCase> {};

TEST_P(FakeCommFlush, ConsumesInReadsOfFive) {
  const FlushCase& c = GetParam();
  ASSERT_TRUE(comm.Open(1, 2400));
  SendAt(-1'000'000, Counting(c.queued));
  comm.Flush();
  EXPECT_EQ(ports.reads, c.expect_reads);
  EXPECT_EQ(Elapsed_us(), c.expect_elapsed_us);
  EXPECT_EQ(line.PendingToHost(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, FakeCommFlush,
                         ::testing::Values(FlushCase{"QuietLine", 0, {{5, 0}}, 50'000},
                                           FlushCase{
                                               "Twelve", 12, {{5, 5}, {5, 5}, {5, 2}}, 10'000},
                                           FlushCase{"Ten", 10, {{5, 5}, {5, 5}, {5, 0}}, 50'000}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(FakeComm, OpenLeavesNoPortHeldWhenItFails) {
  EXPECT_FALSE(comm.Open(2, 2400));  // no such line
  EXPECT_FALSE(comm.Open(1, 1234));  // no such speed
  EXPECT_FALSE(comm.HoldsPort());
  EXPECT_FALSE(line.HostOpen());
  ASSERT_TRUE(comm.Open(1, 9600));
  EXPECT_EQ(line.HostBaud(), 9600);
  ASSERT_TRUE(comm.Open(1, 2400));  // reopening the port it holds
  EXPECT_EQ(line.HostBaud(), 2400);
}

TEST_F(FakeComm, VanishedDeviceFailsTheReadAtItsLimit) {
  ASSERT_TRUE(comm.Open(1, 2400));
  line.Vanish();
  EXPECT_EQ(ReadBytes(4, 300), std::nullopt);
  EXPECT_EQ(Elapsed_us(), 320'000u);
  EXPECT_EQ(ports.reads.size(), 8u);
}

}  // namespace
