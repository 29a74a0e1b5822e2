// The simulated UPS bootloader, free of any transport: bytes go in with the times they
// arrived, and what the UPS does comes out as timed actions (send these bytes from then on,
// listen at another speed from then on, vanish) for a transport to carry out (FakeLineUps on
// the fake line, PtyUps on a pseudo-terminal).
//
// The UPS:
//  - collects request frames from the bytes (a byte other than the start byte outside a frame
//    is garbage; a gap longer than `frame_gap_ms` inside a frame drops what came so far;
//    bytes flagged as noise are dropped and cut any frame short; bytes that arrive while the
//    UPS is busy with the previous request, until its reply has gone out, are lost);
//  - does not carry out a frame with a wrong sum: it answers NAK, or nothing;
//  - answers every command of the protocol after `reply_latency_us` (plus the erase time, or
//    the programming time of the data), and NAKs an unknown command;
//  - after its negotiation reply has gone out it listens at 2400 * 2^n; after its checksum
//    comparison reply, or after `idle_revert_ms` without a request, back at its first speed.
//
// Memory: the flash covers the range `range_start` to `range_end` (both inclusive); outside
// it reads as 0xFF and cannot be written. Erasing sets the range, except the excluded range,
// to 0xFF; programming ANDs the data into it, as flash does, and (with `verify_writes`) fails
// with status 0x1x when a byte does not come out as the data (programming over old data).
// The first `held_bytes` of the range are held back: what is programmed there is kept aside
// and reads back as erased until a matching checksum comparison writes it, as a bootloader
// keeps its start vector back until the image is proved whole.
//
// The UPS's own sum for the checksum comparison:
//  - in a narrow session (negotiated mode byte without the wide nibble):
//      ((R - P) * 255 + S) mod 2^16, with R = range_end - range_start + 1, P the number of
//    distinct addresses programmed since the last erase, S the sum of every byte of the range
//    as programmed (held bytes included). This is the utility's expected sum with the UPS's
//    own counts: it matches a correct upgrade of a listing within the range when the image's
//    empty value is 0xFF and the range ends at 0xEFFF (as a 2-byte inquiry reply implies).
//  - in a wide session: the 16-bit sum of the bytes at every address programmed since the
//    last erase (`WideSum::kProgrammed`), or any expected sum is accepted
//    (`WideSum::kAcceptAny`).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "serial/Protocol.h"
#include "sim/Faults.h"
#include "sim/Transcript.h"

namespace sim {

enum class WideSum : uint8_t { kProgrammed, kAcceptAny };

struct AddressRange {
  uint32_t first = 0;
  uint32_t last = 0;  // inclusive
  bool Contains(uint32_t address) const { return address >= first && address <= last; }
};

struct UpsConfig {
  std::string firmware_version = "UPS FW 1.00";  // at most 16 characters are sent
  std::string programmer_version = "BOOT 2.10";
  // Negotiation reply: the mode byte (high nibble 1: wide) and the speed exponent.
  uint8_t mode_byte = 0x00;
  uint8_t speed_exponent = 4;  // 38400 baud
  // The speed the UPS listens at before negotiating (9600: silent at 2400).
  int32_t initial_baud = 2400;
  // Payload bytes of the address inquiry reply: 2 (start), 4 (start, end; 16 bits each) or
  // 6 (start, end; 24 bits each, low byte first).
  int inquiry_bytes = 4;
  AddressRange range{0x4000, 0xEFFF};
  std::optional<AddressRange> excluded;  // refused for programming, kept by the erase
  uint32_t erase_time_ms = 2000;
  uint32_t reply_latency_us = 1000;
  uint32_t program_us_per_byte = 20;
  // When set, a negotiation with other FileID bytes is answered, but the erase is then
  // refused with the wrong-file status.
  std::optional<std::array<uint8_t, protocol::kFileIdBytes>> file_id;
  bool nak_bad_sum = true;  // else a frame with a wrong sum gets no answer
  uint32_t frame_gap_ms = 100;
  uint8_t initial_fill = 0x00;  // the flash before the first erase
  unsigned held_bytes = 2;
  bool verify_writes = true;
  WideSum wide_sum = WideSum::kProgrammed;
  uint32_t idle_revert_ms = 60'000;  // 0: never
  // How much later than the utility's own limit a late reply comes.
  uint32_t late_margin_ms = 300;
  std::vector<FaultRule> faults;
  uint32_t seed = 1;
  uint32_t vanish_after_frames = 0;  // 0: never; else the UPS is gone when more bytes come
};

// The status bytes the UPS sends.
inline constexpr uint8_t kStatusOk = 0x00;
inline constexpr uint8_t kStatusOperationFailed = 0x10;
inline constexpr uint8_t kStatusWrongFile = 0x30;
inline constexpr uint8_t kStatusIncorrectCmdPara = 0x40;
inline constexpr uint8_t kChecksumMismatch = 0x01;

struct Action {
  enum class Kind : uint8_t {
    kSend,     // send `bytes`, the first starting on the wire no earlier than `at_us`
    kSetBaud,  // listen and send at `baud` from `at_us` on
    kVanish,   // the UPS is gone from `at_us` on (cable pulled, pseudo-terminal closed)
  };
  Kind kind = Kind::kSend;
  uint64_t at_us = 0;
  std::vector<uint8_t> bytes;
  int32_t baud = 0;
};

// Microseconds that `count` bytes take on the wire at `baud` (10 bits a byte, each byte's
// time rounded up to whole microseconds).
uint64_t WireTime_us(size_t count, int32_t baud);

class UpsModel {
 public:
  explicit UpsModel(UpsConfig config);

  // Bytes received: `arrival_us[i]` is when bytes[i] had fully arrived. `noise`: they were
  // sent at another speed than the UPS's. Returns what the UPS does, in time order.
  std::vector<Action> Receive(std::span<const uint8_t> bytes, std::span<const uint64_t> arrival_us,
                              bool noise);
  // Time passes with nothing received: ends a frame left unfinished, and returns to the
  // first speed after `idle_revert_ms`.
  std::vector<Action> Idle(uint64_t now_us);

  const UpsConfig& Config() const { return config_; }
  // The speed the UPS listens at once the actions handed out so far have taken effect.
  int32_t Baud() const { return baud_; }
  bool Vanished() const { return vanished_; }
  bool WideSession() const;

  // --- Memory.
  // What a read back of `address` gives (held bytes read as erased until committed).
  uint8_t Read(uint32_t address) const;
  // The flash of the range: byte i is address range.first + i.
  const std::vector<uint8_t>& Flash() const { return flash_; }
  // Writes Flash() to `path`: the file's byte i is address range.first + i.
  bool WriteMemoryImage(const std::string& path) const;
  // The UPS's own sum for the checksum comparison (see above).
  uint16_t OwnSum() const;
  // Distinct addresses programmed since the last erase.
  uint32_t ProgrammedCount() const { return programmed_count_; }

  // --- What happened.
  const Transcript& Log() const { return transcript_; }
  Transcript& Log() { return transcript_; }
  const FaultPlan& Faults() const { return faults_; }
  // Whole frames with a good sum received, in all and by command code.
  uint32_t FramesReceived() const { return frames_; }
  uint32_t FramesReceived(protocol::Command command) const;
  // Requests carried out (faults that drop a request do not count).
  uint32_t Executed(protocol::Command command) const;
  uint32_t BadSumFrames() const { return bad_sum_frames_; }

 private:
  struct Reply {
    std::vector<uint8_t> payload;
    bool nak = false;
    uint64_t work_us = 0;             // time the command takes before the reply
    std::optional<int32_t> new_baud;  // after the reply has gone out
  };

  void TakeByte(uint8_t byte, uint64_t at_us, std::vector<Action>& actions);
  // Collects bytes of one kind (garbage, ignored) into one transcript entry.
  void Pend(TranscriptEntry::Kind kind, std::span<const uint8_t> bytes, uint64_t at_us,
            const char* note);
  void FlushGarbage();
  void HandleFrame(uint64_t at_us, std::vector<Action>& actions);
  Reply Execute(protocol::Command command, std::span<const uint8_t> payload, uint64_t at_us);
  Reply Program(protocol::Command command, std::span<const uint8_t> payload, uint64_t at_us);
  Reply ReadBack(std::span<const uint8_t> payload);
  Reply Erase(std::span<const uint8_t> payload, uint64_t at_us);
  Reply Checksum(std::span<const uint8_t> payload, uint64_t at_us);
  Reply Negotiate(std::span<const uint8_t> payload, uint64_t at_us);
  // Sends `bytes` at `start_us` at the current speed; the UPS is busy until they are out.
  uint64_t Send(std::vector<uint8_t> bytes, uint64_t start_us, std::string note,
                std::vector<Action>& actions);
  void Revert(uint64_t at_us, const char* why, std::vector<Action>& actions);
  bool IsHeld(uint32_t address) const;
  // How long the utility waits for the first byte of the reply to `code`.
  static uint32_t UtilityWait_ms(uint8_t code);

  UpsConfig config_;
  FaultPlan faults_;
  Transcript transcript_;
  int32_t baud_;
  bool vanished_ = false;
  bool file_rejected_ = false;
  uint8_t session_mode_ = 0;

  std::vector<uint8_t> frame_;  // the frame being collected
  uint64_t last_byte_us_ = 0;
  std::vector<uint8_t> garbage_;
  uint64_t garbage_us_ = 0;
  TranscriptEntry::Kind garbage_kind_ = TranscriptEntry::Kind::kGarbage;
  std::string garbage_note_;
  uint64_t ready_us_ = 0;         // busy until then
  uint64_t last_request_us_ = 0;  // for the return to the first speed

  std::vector<uint8_t> flash_;
  std::vector<bool> programmed_;
  uint32_t programmed_count_ = 0;
  std::vector<uint8_t> held_;  // what was programmed into the held bytes

  uint32_t frames_ = 0;
  uint32_t bad_sum_frames_ = 0;
  std::array<uint32_t, 256> received_by_code_{};
  std::array<uint32_t, 256> executed_by_code_{};
};

}  // namespace sim
