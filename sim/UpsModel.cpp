#include "sim/UpsModel.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>

namespace sim {

namespace {

using protocol::Command;

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::vector<uint8_t> Frame(uint8_t code, std::span<const uint8_t> payload) {
  std::vector<uint8_t> bytes(payload.size() + protocol::kHeaderBytes + 1);
  protocol::BuildFrame(bytes.data(), static_cast<Command>(code), payload);
  return bytes;
}

void AppendText(std::vector<uint8_t>& payload, const std::string& text) {
  for (size_t i = 0; i < protocol::kVersionTextBytes; ++i) {
    payload.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
  }
}

void AppendLowFirst(std::vector<uint8_t>& payload, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) payload.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void AppendWire(std::vector<uint8_t>& payload, uint32_t address) {
  const auto wire = protocol::WireAddress(address);
  payload.insert(payload.end(), wire.begin(), wire.end());
}

}  // namespace

uint64_t WireTime_us(size_t count, int32_t baud) {
  if (baud <= 0) return 0;
  const auto rate = static_cast<uint64_t>(baud);
  return count * ((10'000'000 + rate - 1) / rate);
}

UpsModel::UpsModel(UpsConfig config)
    : config_(std::move(config)),
      faults_(config_.faults, config_.seed),
      baud_(config_.initial_baud),
      session_mode_(config_.mode_byte) {
  if (config_.range.last < config_.range.first) std::swap(config_.range.first, config_.range.last);
  const size_t size = size_t{config_.range.last} - config_.range.first + 1;
  flash_.assign(size, config_.initial_fill);
  programmed_.assign(size, false);
  held_.assign(std::min<size_t>(config_.held_bytes, size), 0xFF);
}

bool UpsModel::WideSession() const {
  return protocol::HighNibble(session_mode_) == protocol::kWideModeNibble;
}

uint32_t UpsModel::FramesReceived(Command command) const {
  return received_by_code_[static_cast<uint8_t>(command)];
}

uint32_t UpsModel::Executed(Command command) const {
  return executed_by_code_[static_cast<uint8_t>(command)];
}

bool UpsModel::IsHeld(uint32_t address) const {
  return config_.range.Contains(address) && address - config_.range.first < held_.size();
}

uint8_t UpsModel::Read(uint32_t address) const {
  if (!config_.range.Contains(address)) return 0xFF;
  return flash_[address - config_.range.first];
}

bool UpsModel::WriteMemoryImage(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(flash_.data()),
            static_cast<std::streamsize>(flash_.size()));
  return static_cast<bool>(out);
}

uint16_t UpsModel::OwnSum() const {
  uint64_t sum = 0;
  const auto content = [this](size_t i) {
    return i < held_.size() ? static_cast<uint8_t>(held_[i] & flash_[i]) : flash_[i];
  };
  if (WideSession()) {
    for (size_t i = 0; i < flash_.size(); ++i) {
      if (programmed_[i]) sum += content(i);
    }
  } else {
    for (size_t i = 0; i < flash_.size(); ++i) sum += content(i);
    sum += (uint64_t{flash_.size()} - programmed_count_) * 255;
  }
  return static_cast<uint16_t>(sum);
}

uint32_t UpsModel::UtilityWait_ms(uint8_t code) {
  switch (static_cast<Command>(code)) {
    case Command::kAddressInquiry:
      return 500;
    case Command::kErase:
      return 40'000;
    case Command::kNegotiation:
    case Command::kVersionQuery:
    case Command::kExcludedRangeInquiry:
    case Command::kChecksumComparison:
      return 1000;
    default:
      return 2000;
  }
}

void UpsModel::FlushGarbage() {
  if (garbage_.empty()) return;
  transcript_.Add(garbage_us_, garbage_kind_, std::move(garbage_), std::move(garbage_note_));
  garbage_.clear();
  garbage_note_.clear();
}

void UpsModel::Pend(TranscriptEntry::Kind kind, std::span<const uint8_t> bytes, uint64_t at_us,
                    const char* note) {
  if (!garbage_.empty() && (garbage_kind_ != kind || garbage_note_ != note)) FlushGarbage();
  if (garbage_.empty()) {
    garbage_kind_ = kind;
    garbage_us_ = at_us;
    garbage_note_ = note;
  }
  garbage_.insert(garbage_.end(), bytes.begin(), bytes.end());
}

void UpsModel::Revert(uint64_t at_us, const char* why, std::vector<Action>& actions) {
  if (baud_ == config_.initial_baud) return;
  baud_ = config_.initial_baud;
  actions.push_back(Action{Action::Kind::kSetBaud, at_us, {}, baud_});
  transcript_.Note(at_us,
                   std::string("listens at ") + std::to_string(baud_) + " baud (" + why + ")");
}

std::vector<Action> UpsModel::Idle(uint64_t now_us) {
  std::vector<Action> actions;
  if (vanished_) return actions;
  if (!frame_.empty() && now_us > last_byte_us_ + uint64_t{config_.frame_gap_ms} * 1000) {
    Pend(TranscriptEntry::Kind::kGarbage, frame_, last_byte_us_, "frame cut short");
    frame_.clear();
  }
  FlushGarbage();
  const uint64_t idle_end = last_request_us_ + uint64_t{config_.idle_revert_ms} * 1000;
  if (config_.idle_revert_ms != 0 && now_us >= idle_end && now_us >= ready_us_) {
    Revert(std::max(idle_end, ready_us_), "no request for a while", actions);
  }
  return actions;
}

std::vector<Action> UpsModel::Receive(std::span<const uint8_t> bytes,
                                      std::span<const uint64_t> arrival_us, bool noise) {
  if (bytes.empty()) return {};
  std::vector<Action> actions = Idle(arrival_us[0]);
  if (!vanished_ && config_.vanish_after_frames != 0 && frames_ >= config_.vanish_after_frames) {
    vanished_ = true;
    actions.push_back(Action{Action::Kind::kVanish, arrival_us[0], {}, 0});
    transcript_.Note(arrival_us[0], "the UPS vanishes");
  }
  if (vanished_) {
    Pend(TranscriptEntry::Kind::kIgnored, bytes, arrival_us[0], "(gone)");
    FlushGarbage();
    return actions;
  }
  if (noise) {
    if (!frame_.empty()) {
      Pend(TranscriptEntry::Kind::kGarbage, frame_, last_byte_us_, "frame cut by noise");
      frame_.clear();
    }
    FlushGarbage();
    transcript_.Add(arrival_us[0], TranscriptEntry::Kind::kNoise, {bytes.begin(), bytes.end()},
                    "at another speed than " + std::to_string(baud_));
    return actions;
  }
  for (size_t i = 0; i < bytes.size(); ++i) TakeByte(bytes[i], arrival_us[i], actions);
  FlushGarbage();
  return actions;
}

void UpsModel::TakeByte(uint8_t byte, uint64_t at_us, std::vector<Action>& actions) {
  const uint8_t one[] = {byte};
  if (at_us < ready_us_) {
    Pend(TranscriptEntry::Kind::kIgnored, one, at_us, "(busy)");
    return;
  }
  if (!frame_.empty() && at_us > last_byte_us_ + uint64_t{config_.frame_gap_ms} * 1000) {
    Pend(TranscriptEntry::Kind::kGarbage, frame_, last_byte_us_, "frame cut short");
    frame_.clear();
  }
  if (frame_.empty() && byte != protocol::kStartByte) {
    Pend(TranscriptEntry::Kind::kGarbage, one, at_us, "");
    return;
  }
  frame_.push_back(byte);
  last_byte_us_ = at_us;
  if (frame_.size() >= protocol::kHeaderBytes &&
      frame_.size() == size_t{frame_[2]} + protocol::kHeaderBytes + 1) {
    FlushGarbage();
    HandleFrame(at_us, actions);
  }
}

uint64_t UpsModel::Send(std::vector<uint8_t> bytes, uint64_t start_us, std::string note,
                        std::vector<Action>& actions) {
  ready_us_ = start_us + WireTime_us(bytes.size(), baud_);
  transcript_.Add(start_us, TranscriptEntry::Kind::kOut, bytes, std::move(note));
  actions.push_back(Action{Action::Kind::kSend, start_us, std::move(bytes), 0});
  return ready_us_;
}

void UpsModel::HandleFrame(uint64_t at_us, std::vector<Action>& actions) {
  const std::vector<uint8_t> frame = std::move(frame_);
  frame_.clear();
  const uint8_t code = frame[1];
  const size_t length = frame[2];
  const std::span<const uint8_t> payload(frame.data() + protocol::kHeaderBytes, length);
  const uint8_t sum = protocol::Sum({frame.data(), length + protocol::kHeaderBytes});
  const uint64_t start = at_us + config_.reply_latency_us;
  last_request_us_ = at_us;
  ready_us_ = at_us;

  if (sum != frame.back()) {
    ++bad_sum_frames_;
    transcript_.Add(at_us, TranscriptEntry::Kind::kIn, frame,
                    CommandName(code) + ": wrong sum (" + Hex(sum, 2) + " expected), not done");
    if (config_.nak_bad_sum) Send({protocol::kNak}, start, "NAK", actions);
    return;
  }
  ++frames_;
  ++received_by_code_[code];
  transcript_.Add(at_us, TranscriptEntry::Kind::kIn, frame, CommandName(code));

  const FaultRule* fault = faults_.Judge(code);
  if (fault != nullptr) {
    transcript_.Note(at_us, "fault " + Describe(*fault));
    switch (fault->kind) {
      case FaultKind::kSilence:
        return;
      case FaultKind::kNak:
        Send({protocol::kNak}, start, "NAK", actions);
        return;
      case FaultKind::kStatus: {
        const uint8_t status[] = {fault->status};
        Send(Frame(code, status), start, "status " + Hex(fault->status, 2), actions);
        return;
      }
      default:
        break;
    }
  }

  Reply reply = Execute(static_cast<Command>(code), payload, at_us);
  if (reply.nak) {
    Send({protocol::kNak}, start, "NAK", actions);
    return;
  }
  ++executed_by_code_[code];
  std::vector<uint8_t> bytes = Frame(code, reply.payload);
  uint64_t reply_start = start + reply.work_us;
  std::string note = "reply";
  if (fault != nullptr) {
    switch (fault->kind) {
      case FaultKind::kBadSum:
        bytes.back() = static_cast<uint8_t>(bytes.back() + 1);
        note = "reply with a wrong sum";
        break;
      case FaultKind::kStrayByte:
        bytes.insert(bytes.begin(), kStrayValue);
        note = "reply after a stray byte";
        break;
      case FaultKind::kCutReply:
        bytes.resize(1);
        note = "reply cut after its start byte";
        break;
      case FaultKind::kLateReply:
        reply_start = std::max(
            reply_start, at_us + (uint64_t{UtilityWait_ms(code)} + config_.late_margin_ms) * 1000);
        note = "late reply";
        break;
      default:
        break;
    }
  }
  const uint64_t end = Send(std::move(bytes), reply_start, std::move(note), actions);
  if (reply.new_baud && *reply.new_baud != baud_) {
    baud_ = *reply.new_baud;
    actions.push_back(Action{Action::Kind::kSetBaud, end, {}, baud_});
    transcript_.Note(end, "listens at " + std::to_string(baud_) + " baud");
  }
}

UpsModel::Reply UpsModel::Execute(Command command, std::span<const uint8_t> payload,
                                  uint64_t at_us) {
  Reply reply;
  switch (command) {
    case Command::kVersionQuery:
      AppendText(reply.payload, config_.firmware_version);
      AppendText(reply.payload, config_.programmer_version);
      return reply;
    case Command::kNegotiation:
      return Negotiate(payload, at_us);
    case Command::kAddressInquiry: {
      const int half = config_.inquiry_bytes == 6 ? 3 : 2;
      AppendLowFirst(reply.payload, config_.range.first, half);
      if (config_.inquiry_bytes != 2) AppendLowFirst(reply.payload, config_.range.last, half);
      return reply;
    }
    case Command::kExcludedRangeInquiry:
      // Without an excluded range: an empty one, start above end.
      AppendWire(reply.payload, config_.excluded ? config_.excluded->first : 0xFFFFFF);
      AppendWire(reply.payload, config_.excluded ? config_.excluded->last : 0);
      return reply;
    case Command::kErase:
      return Erase(payload, at_us);
    case Command::kProgram:
    case Command::kWideProgram:
      return Program(command, payload, at_us);
    case Command::kReadBack:
      return ReadBack(payload);
    case Command::kChecksumComparison:
      return Checksum(payload, at_us);
  }
  reply.nak = true;
  return reply;
}

UpsModel::Reply UpsModel::Negotiate(std::span<const uint8_t> payload, uint64_t at_us) {
  Reply reply;
  session_mode_ = config_.mode_byte;
  file_rejected_ = false;
  if (config_.file_id && !std::ranges::equal(payload, std::span<const uint8_t>(*config_.file_id))) {
    file_rejected_ = true;
    transcript_.Note(at_us, "FileID does not belong to this UPS: the erase will be refused");
  }
  reply.payload = {config_.mode_byte, config_.speed_exponent};
  const int64_t baud = int64_t{2400} << std::min<int>(config_.speed_exponent, 20);
  reply.new_baud =
      static_cast<int32_t>(std::min<int64_t>(baud, std::numeric_limits<int32_t>::max()));
  return reply;
}

UpsModel::Reply UpsModel::Erase(std::span<const uint8_t> payload, uint64_t at_us) {
  Reply reply;
  if (payload.size() != 1 || payload[0] != protocol::kEraseAll) {
    transcript_.Note(at_us, "erase request with other parameters: refused");
    reply.payload = {kStatusIncorrectCmdPara};
    return reply;
  }
  if (file_rejected_) {
    reply.payload = {kStatusWrongFile};
    return reply;
  }
  for (size_t i = 0; i < flash_.size(); ++i) {
    const uint32_t address = config_.range.first + static_cast<uint32_t>(i);
    if (config_.excluded && config_.excluded->Contains(address)) continue;
    flash_[i] = 0xFF;
    programmed_[i] = false;
  }
  programmed_count_ = 0;
  std::ranges::fill(held_, 0xFF);
  reply.work_us = uint64_t{config_.erase_time_ms} * 1000;
  transcript_.Note(at_us, "erasing " + Hex(config_.range.first, 4) + "-" +
                              Hex(config_.range.last, 4) + " for " +
                              std::to_string(config_.erase_time_ms) + " ms");
  reply.payload = {kStatusOk};
  return reply;
}

UpsModel::Reply UpsModel::Program(Command command, std::span<const uint8_t> payload,
                                  uint64_t at_us) {
  Reply reply;
  const bool wide = command == Command::kWideProgram;
  const size_t address_bytes = wide ? 3 : 2;
  if (payload.size() < 1 + address_bytes || payload[0] != payload.size() - 1 - address_bytes) {
    transcript_.Note(at_us, "count byte does not match the length: refused");
    reply.payload = {kStatusIncorrectCmdPara};
    return reply;
  }
  const uint32_t address =
      wide ? protocol::FromWireAddress(&payload[1]) : protocol::FromLowFirst16(&payload[1]);
  const std::span<const uint8_t> data = payload.subspan(1 + address_bytes);
  for (size_t i = 0; i < data.size(); ++i) {
    const uint32_t a = address + static_cast<uint32_t>(i);
    const bool outside = !config_.range.Contains(a);
    if (outside || (config_.excluded && config_.excluded->Contains(a))) {
      transcript_.Note(
          at_us, Hex(a, 6) + (outside ? " is outside the range" : " is excluded") + ": refused");
      reply.payload = {kStatusIncorrectCmdPara};
      return reply;
    }
  }
  bool verified = true;
  for (size_t i = 0; i < data.size(); ++i) {
    const uint32_t a = address + static_cast<uint32_t>(i);
    const size_t index = a - config_.range.first;
    uint8_t& cell = IsHeld(a) ? held_[index] : flash_[index];
    cell &= data[i];
    if (cell != data[i]) verified = false;
    if (!programmed_[index]) {
      programmed_[index] = true;
      ++programmed_count_;
    }
  }
  reply.work_us = uint64_t{config_.program_us_per_byte} * data.size();
  if (!verified && config_.verify_writes) {
    transcript_.Note(at_us, "programmed bytes do not read back as sent (not erased?)");
    reply.payload = {kStatusOperationFailed};
  } else {
    reply.payload = {kStatusOk};
  }
  return reply;
}

UpsModel::Reply UpsModel::ReadBack(std::span<const uint8_t> payload) {
  Reply reply;
  if (payload.size() != 4) {
    reply.nak = true;
    return reply;
  }
  const uint32_t address = protocol::FromWireAddress(&payload[1]);
  for (uint32_t i = 0; i < payload[0]; ++i) reply.payload.push_back(Read(address + i));
  return reply;
}

UpsModel::Reply UpsModel::Checksum(std::span<const uint8_t> payload, uint64_t at_us) {
  Reply reply;
  // The session ends with the checksum comparison: back to the first speed.
  reply.new_baud = config_.initial_baud;
  if (payload.size() != 2) {
    reply.payload = {kStatusIncorrectCmdPara};
    return reply;
  }
  const uint16_t expected = static_cast<uint16_t>(protocol::FromLowFirst16(payload.data()));
  const uint16_t own = OwnSum();
  const bool match = expected == own || (WideSession() && config_.wide_sum == WideSum::kAcceptAny);
  transcript_.Note(at_us, "expected sum " + Hex(expected, 4) + ", own sum " + Hex(own, 4) +
                              (match ? ": match" : ": mismatch"));
  if (match) {
    for (size_t i = 0; i < held_.size(); ++i) flash_[i] &= held_[i];
  }
  reply.payload = {match ? kStatusOk : kChecksumMismatch};
  return reply;
}

}  // namespace sim
