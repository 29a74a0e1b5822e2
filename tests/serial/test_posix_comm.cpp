// The serial port object over real pseudo-terminals, opened by name through the port folder.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "CheckedRead.h"
#include "RecordingPorts.h"
#include "serial/TRIComm.h"
#include "support/Pty.h"

namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

class PosixComm : public ::testing::Test {
 protected:
  PosixComm() { folder.Link(1, pty.SlavePath()); }
  ~PosixComm() override {
    if (feeder_.joinable()) feeder_.join();
  }

  // Sends `bytes` from the device after `delay`, while the test goes on.
  void SendLater(milliseconds delay, Bytes bytes) {
    feeder_ = std::thread([this, delay, bytes = std::move(bytes)] {
      std::this_thread::sleep_for(delay);
      pty.Send(bytes);
    });
  }
  void CloseMasterLater(milliseconds delay) {
    feeder_ = std::thread([this, delay] {
      std::this_thread::sleep_for(delay);
      pty.CloseMaster();
    });
  }
  // Reads `count` bytes; the result holds them, or nothing on time-out (when `count` and the
  // destination must still be as they were).
  std::optional<Bytes> ReadBytes(int count, uint32_t limit_ms) {
    return CheckedRead(comm, count, limit_ms);
  }

  Pty pty;
  PortFolder folder;
  RecordingPorts ports{platform::PosixPorts()};
  platform::ScopedPorts scoped{ports};
  TRIComm comm;

 private:
  std::thread feeder_;
};

struct PieceCase {
  const char* name;
  friend void PrintTo(const PieceCase& c, std::ostream* out) { *out << c.name; }
  std::string first;   // queued before the read
  std::string second;  // sent 100 ms into the read ("" for none)
  int count;
  std::string expected;  // what the read delivers
  std::string next;      // what stays queued for the next read
};

class PosixCommPieces : public PosixComm, public ::testing::WithParamInterface<PieceCase> {};

TEST_P(PosixCommPieces, ReadTakesExactlyTheMissingBytes) {
  const PieceCase& c = GetParam();
  ASSERT_TRUE(comm.Open(1, 2400));
  pty.Send(Text(c.first));
  if (!c.second.empty()) SendLater(milliseconds(100), Text(c.second));

  EXPECT_EQ(ReadBytes(c.count, 2000), Text(c.expected));
  // Every platform read asks for what is still missing, and no more.
  size_t received = 0;
  for (const PlatformRead& read : ports.reads) {
    EXPECT_EQ(read.asked, static_cast<size_t>(c.count) - received);
    received += read.got;
  }
  if (c.second.empty()) {
    EXPECT_EQ(ports.reads.size(), 1u);
  }

  if (!c.next.empty()) {
    EXPECT_EQ(ReadBytes(static_cast<int>(c.next.size()), 1000), Text(c.next));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PosixCommPieces,
                         ::testing::Values(PieceCase{"AlreadyQueued", "abc", "", 3, "abc", ""},
                                           PieceCase{"TwoPieces", "abc", "defgh", 5, "abcde",
                                                     "fgh"},
                                           PieceCase{"AllLate", "", "wxyz", 2, "wx", "yz"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(PosixComm, PartialReadTimesOutAndDropsItsBytes) {
  ASSERT_TRUE(comm.Open(1, 2400));
  pty.Send(Text("ab"));
  EXPECT_EQ(ReadBytes(4, 200), std::nullopt);
  pty.Send(Text("xyz"));
  EXPECT_EQ(ReadBytes(3, 1000), Text("xyz"));
}

TEST_F(PosixComm, LimitZeroLeavesTheLineAlone) {
  ASSERT_TRUE(comm.Open(1, 2400));
  pty.Send(Text("q"));
  EXPECT_EQ(ReadBytes(1, 0), std::nullopt);
  EXPECT_TRUE(ports.reads.empty());
  EXPECT_EQ(ReadBytes(1, 1000), Text("q"));
}

TEST_F(PosixComm, FlushConsumesQueuedBytesInFives) {
  ASSERT_TRUE(comm.Open(1, 2400));
  pty.Send(Text("0123456789ab"));
  comm.Flush();
  EXPECT_EQ(ports.reads, (std::vector<PlatformRead>{{5, 5}, {5, 5}, {5, 2}}));
  EXPECT_EQ(ReadBytes(1, 100), std::nullopt);
}

TEST_F(PosixComm, WriteReachesTheDevice) {
  ASSERT_TRUE(comm.Open(1, 2400));
  const Bytes request = {0x01, 0x0B, 0x00, 0x0C};
  EXPECT_TRUE(comm.Write(request.data(), static_cast<int>(request.size())));
  EXPECT_EQ(pty.Receive(request.size() + 1, 200), request);
}

TEST_F(PosixComm, PortIsHeldExclusivelyUntilClosed) {
  ASSERT_TRUE(comm.Open(1, 2400));
  TRIComm other;
  EXPECT_FALSE(other.Open(1, 2400));
  EXPECT_FALSE(other.HoldsPort());
  comm.Close();
  EXPECT_TRUE(other.Open(1, 2400));
}

TEST_F(PosixComm, OpenClosesTheHeldPortFirst) {
  Pty second;
  folder.Link(2, second.SlavePath());
  ASSERT_TRUE(comm.Open(1, 2400));
  ASSERT_TRUE(comm.Open(1, 9600)) << "the port it held itself";
  ASSERT_TRUE(comm.Open(2, 2400));
  TRIComm other;
  EXPECT_TRUE(other.Open(1, 2400)) << "COM1 still held after moving to COM2";
}

TEST_F(PosixComm, Com2At9600IsRaw8N1) {
  Pty second;
  folder.Link(2, second.SlavePath());
  ASSERT_TRUE(comm.Open(2, 9600));
  const termios tio = second.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&tio), speed_t{B9600});
  EXPECT_EQ(cfgetispeed(&tio), speed_t{B9600});
  EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t{CS8});
  EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  // COM1 was not touched: it keeps the pseudo-terminal's canonical default.
  EXPECT_NE(pty.SlaveSettings().c_lflag & ICANON, 0u);
}

TEST_F(PosixComm, SpeedTheLineCannotTakeFailsAndFreesThePort) {
  for (const int speed : {1234, 0, -9600}) {
    EXPECT_FALSE(comm.Open(1, speed)) << speed;
    EXPECT_FALSE(comm.HoldsPort()) << speed;
  }
  TRIComm other;
  EXPECT_TRUE(other.Open(1, 2400));
}

TEST_F(PosixComm, PortsThatAreNoSerialDeviceDoNotOpen) {
  const std::string plain_file = folder.Path() + "/plain";
  std::ofstream(plain_file) << "not a terminal";
  folder.Link(3, folder.Path() + "/gone");
  folder.Link(4, plain_file);
  for (const int port : {3, 4, 0}) {
    EXPECT_FALSE(comm.Open(port, 2400)) << "COM" << port;
    EXPECT_FALSE(comm.HoldsPort()) << "COM" << port;
  }
  std::remove(plain_file.c_str());
}

TEST_F(PosixComm, DeviceVanishingMidReadTimesOutQuietly) {
  ASSERT_TRUE(comm.Open(1, 2400));
  pty.Send(Text("a"));
  CloseMasterLater(milliseconds(50));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadBytes(4, 300), std::nullopt);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, milliseconds(300));
  // Each platform read still takes its own time-out (30 ms for the 3 bytes missing): no
  // spinning on the dead line.
  EXPECT_LE(ports.reads.size(), 20u);
  const Bytes request = {0x15};
  EXPECT_FALSE(comm.Write(request.data(), 1));
  EXPECT_EQ(ReadBytes(1, 50), std::nullopt);
}

}  // namespace
