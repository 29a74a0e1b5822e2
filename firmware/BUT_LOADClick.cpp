// "&Browse...": choose a firmware file and read it into the listing.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "firmware/FileReader.h"
#include "shell/Main.h"

namespace {

// The box that refuses a file the listing cannot hold; empty for outcomes that show none.
std::string RefusalText(const FirmwareReadResult& result) {
  const std::string line = "Line " + std::to_string(result.line) + ": ";
  switch (result.outcome) {
    case ReadOutcome::kLineTooLong:
      return line + "the line is longer than " + std::to_string(kMaxFileLineChars) +
             " characters. The file was not loaded.";
    case ReadOutcome::kLineTooShort:
      return line + "the record is shorter than its length field says. The file was not loaded.";
    case ReadOutcome::kTooManyDataBytes:
      return line + "the record carries more than " + std::to_string(kMaxRecordDataBytes) +
             " data bytes. The file was not loaded.";
    case ReadOutcome::kMixedAddressWidths:
      return line +
             "the file mixes S-records of different address widths. The file was not loaded.";
    case ReadOutcome::kExtendedAddress:
      return line +
             "addresses beyond 64 KiB (extended address record) are not supported. The file was "
             "not loaded.";
    case ReadOutcome::kUnknownRecordType:
      return line + "unknown record type. The file was not loaded.";
    case ReadOutcome::kLoaded:
    case ReadOutcome::kCannotOpen:
    case ReadOutcome::kChecksumError:
      break;
  }
  return {};
}

std::string WorkingDirectory() {
  char path[4096];
  return getcwd(path, sizeof path) != nullptr ? std::string(path) : std::string();
}

}  // namespace

void TTarvikUPSForm::BUT_LOADClick(TObject* /*Sender*/) {
  OpenDialog1->InitialDir = WorkingDirectory();
  MM_HEX->Lines.Clear();
  MM_HEX->LinesChanged();
  ED_FILENAME->SetText("");
  if (!OpenDialog1->Execute()) {
    FileLoaded = false;
    return;
  }
  FileSum = 0;
  FileLoaded = false;
  const std::string path = OpenDialog1->FileName;
  ED_FILENAME->SetText(path);
  const FirmwareFormat format = FirmwareFormatOfPath(path);
  if (format == FirmwareFormat::kNone) return;
  if (format == FirmwareFormat::kIntelHex) AddrBytes = 2;

  FirmwareIdentity identity;
  std::memcpy(identity.VersionText, FileInfo.VersionText, sizeof identity.VersionText);
  std::memcpy(identity.ModelText, FileInfo.ModelText, sizeof identity.ModelText);
  std::memcpy(identity.FileID, FileInfo.FileID, sizeof identity.FileID);
  const FirmwareReadResult result = ReadFirmwareFile(path, format, MM_HEX->Lines, identity);

  if (result.outcome != ReadOutcome::kLoaded && result.outcome != ReadOutcome::kChecksumError) {
    // Nothing of a file that cannot be read or cannot be listed stays: the window looks as
    // after a file that could not be opened.
    MM_HEX->Lines.Clear();
    MM_HEX->LinesChanged();
    const std::string refusal = RefusalText(result);
    if (!refusal.empty()) MessageBox(this, refusal, "Load");
    return;
  }

  MM_HEX->LinesChanged();
  if (result.addr_bytes) AddrBytes = *result.addr_bytes;
  std::memcpy(FileInfo.VersionText, identity.VersionText, sizeof identity.VersionText);
  std::memcpy(FileInfo.ModelText, identity.ModelText, sizeof identity.ModelText);
  std::memcpy(FileInfo.FileID, identity.FileID, sizeof identity.FileID);
  if (result.model_taken) L_MODEL->SetCaption(FileInfo.ModelText);
  if (result.version_taken) L_VERSION->SetCaption(FileInfo.VersionText);
  FileSum = result.file_sum;
  char caption[16];
  std::snprintf(caption, sizeof caption, "0x%X", static_cast<unsigned>(FileSum));
  L_CHECKSUM->SetCaption(caption);
  if (result.outcome == ReadOutcome::kChecksumError) {
    MessageBox(this, "Check sum error in the file.!", "Check Sum");
    return;
  }
  FileLoaded = true;
}
