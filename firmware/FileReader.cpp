#include "firmware/FileReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "firmware/HexToInt.h"

FirmwareFormat FirmwareFormatOfPath(std::string_view path) {
  std::string upper(path);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  });
  if (upper.find(".HEX") != std::string::npos) return FirmwareFormat::kIntelHex;
  if (upper.find(".S19") != std::string::npos) return FirmwareFormat::kSRecord;
  return FirmwareFormat::kNone;
}

namespace {

// Where the firmware keeps its identification: the file identification at the block's
// start, the model text 16 bytes on, the version text 32 bytes on.
constexpr uint32_t kIdentityBlocks[] = {0x4000, 0x8000};
constexpr int kModelOffset = 0x10;
constexpr int kVersionOffset = 0x20;
constexpr int kTextBytes = 16;
constexpr int kFileIdBytes = 4;

// The address width of an S-record type: S1/S9 2 bytes, S2/S8 3, S3/S7 4, any other none.
int SRecordWidth(char type) {
  switch (type) {
    case '1':
    case '9':
      return 2;
    case '2':
    case '8':
      return 3;
    case '3':
    case '7':
      return 4;
    default:
      return 0;
  }
}

class RecordReader {
 public:
  RecordReader(FirmwareFormat format, TLineStore& listing, FirmwareIdentity& identity)
      : format_(format), listing_(listing), identity_(identity) {}

  // Handles one line of the file, its LF removed; `has_eol` tells whether an LF ended it.
  // False when the reading stops here.
  bool Line(std::string_view line, bool has_eol) {
    ++line_number_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() + (has_eol ? 1 : 0) > kMaxFileLineChars) return Stop(ReadOutcome::kLineTooLong);
    return format_ == FirmwareFormat::kIntelHex ? IntelHexLine(line) : SRecordLine(line);
  }

  FirmwareReadResult Result() const {
    FirmwareReadResult result = result_;
    result.file_sum = file_sum_ & 0xFFFF;
    if (saw_s_line_) result.addr_bytes = s_width_;
    return result;
  }

 private:
  bool Stop(ReadOutcome outcome) {
    result_.outcome = outcome;
    result_.line = line_number_;
    return false;
  }

  // :nnaaaatt<data>cc
  bool IntelHexLine(std::string_view line) {
    if (line.empty() || line[0] != ':') return true;
    if (line.size() < 3) return Stop(ReadOutcome::kLineTooShort);
    const char* p = line.data();
    const int count = HexByte(p + 1);
    if (count > kMaxRecordDataBytes) return Stop(ReadOutcome::kTooManyDataBytes);
    if (line.size() < 11 + 2 * static_cast<size_t>(count)) {
      return Stop(ReadOutcome::kLineTooShort);
    }
    const uint8_t high = HexByte(p + 3);
    const uint8_t low = HexByte(p + 5);
    const uint8_t type = HexByte(p + 7);
    uint8_t sum = static_cast<uint8_t>(count + high + low + type);
    sum = static_cast<uint8_t>(sum + ReadData(p + 9, count));
    file_sum_ += sum;
    sum = static_cast<uint8_t>(sum + HexByte(p + 9 + 2 * count));

    constexpr uint8_t kData = 0x00, kEndOfFile = 0x01, kExtendedSegment = 0x02,
                      kStartSegment = 0x03, kExtendedLinear = 0x04, kStartLinear = 0x05;
    if (type == kData) {
      const uint32_t address = (static_cast<uint32_t>(high) << 8) | low;
      if (capture_armed_) Capture(address, count);
      if (count > 0) List(line.substr(3, 4), p + 9, count);
    }
    if (sum != 0) return Stop(ReadOutcome::kChecksumError);
    switch (type) {
      case kData:
      case kStartSegment:
      case kStartLinear:
        return true;
      case kEndOfFile:
        return false;
      case kExtendedSegment:
      case kExtendedLinear:
        // Only addresses below 64 KiB can be listed: a base of zero changes nothing.
        for (int k = 0; k < count; ++k) {
          if (data_[k] != 0) return Stop(ReadOutcome::kExtendedAddress);
        }
        return true;
      default:
        return Stop(ReadOutcome::kUnknownRecordType);
    }
  }

  // St cc aa..aa <data> ss, where the count cc covers address, data and checksum bytes.
  bool SRecordLine(std::string_view line) {
    if (line.empty() || line[0] != 'S') return true;
    saw_s_line_ = true;
    const char type = line.size() > 1 ? line[1] : '\0';
    const int width = SRecordWidth(type);
    if (width == 0) return true;
    if (s_width_ == 0) {
      s_width_ = width;
    } else if (width != s_width_) {
      return Stop(ReadOutcome::kMixedAddressWidths);
    }
    if (line.size() < 4) return Stop(ReadOutcome::kLineTooShort);
    const char* p = line.data();
    const int count = HexByte(p + 2);
    const int data_bytes = count - width - 1;
    if (data_bytes > kMaxRecordDataBytes) return Stop(ReadOutcome::kTooManyDataBytes);
    if (line.size() < 4 + 2 * static_cast<size_t>(std::max(count, width))) {
      return Stop(ReadOutcome::kLineTooShort);
    }
    uint8_t sum = static_cast<uint8_t>(count);
    uint32_t address = 0;
    for (int i = 0; i < width; ++i) {
      const uint8_t byte = HexByte(p + 4 + 2 * i);
      address = (address << 8) | byte;
      sum = static_cast<uint8_t>(sum + byte);
    }
    const char* data = p + 4 + 2 * width;
    const int n = std::max(data_bytes, 0);
    sum = static_cast<uint8_t>(sum + ReadData(data, n));
    file_sum_ += sum;
    sum = static_cast<uint8_t>(sum + HexByte(p + 2 + 2 * count));

    const bool data_record = type == '1' || type == '2' || type == '3';
    if (data_record) {
      if (capture_armed_) Capture(address, n);
      if (n > 0) List(line.substr(4, 2 * static_cast<size_t>(width)), data, n);
    }
    if (sum != 0xFF) return Stop(ReadOutcome::kChecksumError);
    return true;
  }

  // Decodes `count` data bytes into data_; returns their 8-bit sum.
  uint8_t ReadData(const char* chars, int count) {
    uint8_t sum = 0;
    for (int k = 0; k < count; ++k) {
      data_[k] = HexByte(chars + 2 * k);
      sum = static_cast<uint8_t>(sum + data_[k]);
    }
    return sum;
  }

  void List(std::string_view address, const char* data, int count) {
    char text[8 + 1 + 3 * kMaxRecordDataBytes];
    size_t length = address.size();
    std::memcpy(text, address.data(), length);
    text[length++] = ' ';
    for (int k = 0; k < count; ++k) {
      text[length++] = data[2 * k];
      text[length++] = data[2 * k + 1];
      text[length++] = ' ';
    }
    listing_.Add(std::string_view(text, length));
  }

  // Takes the identification from a data record of `count` bytes at `address`. A part is
  // taken only when the record carries all of its bytes; the bounds are strict, so a record
  // that ends exactly where a text begins does not touch it. The capture ends at a record
  // that starts at a version text.
  void Capture(uint32_t address, int count) {
    for (const uint32_t block : kIdentityBlocks) {
      if (address == block) {
        if (count >= kFileIdBytes) {
          std::memcpy(identity_.FileID, data_, kFileIdBytes);
          result_.file_id_taken = true;
        }
        if (count >= kModelOffset + kTextBytes) {
          TakeText(identity_.ModelText, data_ + kModelOffset);
          result_.model_taken = true;
        }
      } else if (address == block + kModelOffset) {
        if (count >= kTextBytes) {
          TakeText(identity_.ModelText, data_);
          result_.model_taken = true;
        }
        if (count >= 2 * kTextBytes) {
          TakeText(identity_.VersionText, data_ + kTextBytes);
          result_.version_taken = true;
        }
      } else if (address == block + kVersionOffset) {
        if (count >= kTextBytes) {
          TakeText(identity_.VersionText, data_);
          result_.version_taken = true;
        }
        capture_armed_ = false;
      }
    }
  }

  // Copies 16 bytes into `text`; a text with any byte outside blank to tilde comes out empty.
  static void TakeText(char* text, const uint8_t* bytes) {
    for (int i = 0; i < kTextBytes; ++i) {
      if (bytes[i] < 0x20 || bytes[i] > 0x7E) {
        text[0] = '\0';
        break;
      }
      text[i] = static_cast<char>(bytes[i]);
    }
    text[kTextBytes] = '\0';
  }

  const FirmwareFormat format_;
  TLineStore& listing_;
  FirmwareIdentity& identity_;
  FirmwareReadResult result_;
  uint8_t data_[kMaxRecordDataBytes] = {};
  uint32_t file_sum_ = 0;
  int line_number_ = 0;
  bool capture_armed_ = true;
  bool saw_s_line_ = false;
  int s_width_ = 0;  // the address width of the S-records read so far, 0 before the first
};

// Hands the lines of `text` to `reader`: every line that an LF ends and, at the end of the
// file, the last line without one. `consumed` tells how far the lines reached; the rest is an
// unfinished line to be continued by the next block. False when the reading stopped.
bool FeedLines(RecordReader& reader, std::string_view text, bool at_end, size_t& consumed) {
  size_t pos = 0;
  for (;;) {
    const void* lf = std::memchr(text.data() + pos, '\n', text.size() - pos);
    if (lf == nullptr) break;
    const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - text.data());
    if (!reader.Line(text.substr(pos, end - pos), true)) return false;
    pos = end + 1;
  }
  const std::string_view rest = text.substr(pos);
  if (at_end) {
    consumed = text.size();
    return rest.empty() || reader.Line(rest, false);
  }
  // Longer than any line may be, whatever follows: refused now.
  if (rest.size() > kMaxFileLineChars + 1) return reader.Line(rest, false);
  consumed = pos;
  return true;
}

}  // namespace

FirmwareReadResult ReadFirmware(std::string_view text, FirmwareFormat format, TLineStore& listing,
                                FirmwareIdentity& identity) {
  RecordReader reader(format, listing, identity);
  size_t consumed = 0;
  FeedLines(reader, text, true, consumed);
  return reader.Result();
}

FirmwareReadResult ReadFirmwareFile(const std::string& path, FirmwareFormat format,
                                    TLineStore& listing, FirmwareIdentity& identity) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  FirmwareReadResult cannot_open;
  cannot_open.outcome = ReadOutcome::kCannotOpen;
  if (!file) return cannot_open;

  // The listing in one allocation: a record line of n data bytes (at least 11 + 2n characters
  // and its end-of-line) lists as 2 x width + 1 + 3n characters, never more than 1.5 times
  // the line; a listed record takes at least 13 characters.
  struct stat status {};
  if (listing.Count() == 0 && fstat(fileno(file.get()), &status) == 0 && status.st_size > 0) {
    const size_t size = static_cast<size_t>(status.st_size);
    listing.Reserve(size + size / 2, size / 13 + 1);
  }

  constexpr size_t kBlock = 256 * 1024;
  constexpr size_t kCarry = kMaxFileLineChars + 1;  // an unfinished line is never longer
  const std::unique_ptr<char[]> buffer(new char[kCarry + kBlock]);
  RecordReader reader(format, listing, identity);
  size_t carried = 0;
  for (;;) {
    const size_t got = std::fread(buffer.get() + carried, 1, kBlock, file.get());
    if (std::ferror(file.get())) return cannot_open;
    const bool at_end = std::feof(file.get()) != 0;
    const size_t total = carried + got;
    size_t consumed = 0;
    if (!FeedLines(reader, std::string_view(buffer.get(), total), at_end, consumed) || at_end) {
      break;
    }
    carried = total - consumed;
    std::memmove(buffer.get(), buffer.get() + consumed, carried);
  }
  return reader.Result();
}
