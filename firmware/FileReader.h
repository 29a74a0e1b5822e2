// Reading an Intel HEX or Motorola S-record file into the listing.
//
// The reader tests the checksum of every record and adds one listing line for every record
// that carries data bytes: the record's address characters as they stand in the file, a
// blank, and each data byte's two characters followed by a blank. On the way it adds up the
// file sum and captures the file identification, the model text and the version text that
// the firmware keeps at fixed addresses. It knows nothing of the window: BUT_LOADClick hands
// it the listing and the identification and applies the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/LineStore.h"

enum class FirmwareFormat { kNone, kIntelHex, kSRecord };

// The format a path names: Intel HEX when ".HEX" occurs anywhere in the upper-cased path
// (folders included), else S-records when ".S19" does, else none.
FirmwareFormat FirmwareFormatOfPath(std::string_view path);

// The most data bytes one record may carry.
inline constexpr int kMaxRecordDataBytes = 64;
// The longest line, its end-of-line included (a CR before the LF is not counted).
inline constexpr size_t kMaxFileLineChars = 255;

enum class ReadOutcome {
  kLoaded,              // read to its end, or to the Intel HEX end-of-file record
  kCannotOpen,          // the file could not be opened or read
  kChecksumError,       // a record's checksum is wrong; reading stopped at it
  kLineTooLong,         // a line is longer than kMaxFileLineChars
  kLineTooShort,        // a record line ends before its count field says it does
  kTooManyDataBytes,    // a record carries more than kMaxRecordDataBytes data bytes
  kMixedAddressWidths,  // S-records of different address widths in one file
  kExtendedAddress,     // an Intel HEX extended address record with a non-zero base
  kUnknownRecordType,   // an Intel HEX record type other than 00 to 05
};

// The identification the firmware stores at 0x4000 or 0x8000 (file identification, model
// text, version text). Texts are NUL-terminated, at most 16 characters.
struct FirmwareIdentity {
  char VersionText[20];
  char ModelText[20];
  uint8_t FileID[4];
};

struct FirmwareReadResult {
  ReadOutcome outcome = ReadOutcome::kLoaded;
  // The 1-based number of the line that stopped the reading by an error (0 when none did).
  int line = 0;
  // The sum of the records' 8-bit sums (checksum bytes not included), low 16 bits.
  uint32_t file_sum = 0;
  // For S-record files: the address width of the file's records (2, 3 or 4), or 0 when
  // only records without an address width (S0, S4, S5, S6) were read; none when no line
  // began with "S".
  std::optional<int32_t> addr_bytes;
  // Which parts of the identification the reading wrote.
  bool file_id_taken = false;
  bool model_taken = false;
  bool version_taken = false;
};

// Reads the text of a firmware file. Lines are appended to `listing` (earlier lines are
// kept); the identification is updated in place where the file carries it.
FirmwareReadResult ReadFirmware(std::string_view text, FirmwareFormat format, TLineStore& listing,
                                FirmwareIdentity& identity);
// The same for the file at `path`, read in large blocks.
FirmwareReadResult ReadFirmwareFile(const std::string& path, FirmwareFormat format,
                                    TLineStore& listing, FirmwareIdentity& identity);
