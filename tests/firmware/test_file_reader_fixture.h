// Firmware files for the reader's tests: records built with correct checksums, files written
// into a folder of their own, and a window to load them into.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/FormFixture.h"

namespace firmware_files {

using Bytes = std::vector<uint8_t>;

inline std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

// An Intel HEX record line (no end-of-line), checksum correct unless `sum_error` is added.
inline std::string IntelRecord(unsigned type, unsigned address, const Bytes& data,
                               unsigned sum_error = 0) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + address + type;
  std::string line = ":" + Hex2(static_cast<unsigned>(data.size())) + Hex2(address >> 8) +
                     Hex2(address) + Hex2(type);
  for (const uint8_t byte : data) {
    line += Hex2(byte);
    sum += byte;
  }
  return line + Hex2(0x100 - (sum & 0xFF) + sum_error);
}

// An S-record line of type '0'..'9' (address width by type), checksum correct unless
// `sum_error` is added.
inline std::string SRecord(char type, unsigned address, const Bytes& data, unsigned sum_error = 0) {
  const int width = (type == '2' || type == '8') ? 3 : (type == '3' || type == '7') ? 4 : 2;
  const unsigned count = static_cast<unsigned>(width + data.size() + 1);
  unsigned sum = count;
  std::string line = std::string("S") + type + Hex2(count);
  for (int i = width - 1; i >= 0; --i) {
    line += Hex2(address >> (8 * i));
    sum += (address >> (8 * i)) & 0xFF;
  }
  for (const uint8_t byte : data) {
    line += Hex2(byte);
    sum += byte;
  }
  return line + Hex2(~sum + sum_error);
}

inline Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// `count` bytes 0x10, 0x11, ...
inline Bytes Counting(size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(0x10 + i);
  return bytes;
}

// Lines joined with LF, a final LF included.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace firmware_files

class ReaderFixture : public FormFixture {
 protected:
  void SetUp() override {
    FormFixture::SetUp();
    folder_ = std::filesystem::path(::testing::TempDir()) /
              ("upsfw_reader_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::filesystem::remove_all(folder_);
    FormFixture::TearDown();
  }

  // Writes `content` to `name` (folders created as needed) in the test's folder.
  std::string Write(const std::string& name, const std::string& content) {
    const std::filesystem::path path = folder_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  // Clicks "&Browse..." with the dialog answering `path`.
  void Load(std::optional<std::string> path) {
    AnswerDialogWith(path);
    form->BUT_LOADClick(form->BUT_LOAD);
  }
  void LoadFile(const std::string& name, const std::string& content) { Load(Write(name, content)); }

  std::vector<std::string> Listing() const {
    std::vector<std::string> lines;
    for (int i = 0; i < form->MM_HEX->Lines.Count(); ++i) {
      lines.emplace_back(form->MM_HEX->Lines[i]);
    }
    return lines;
  }

  std::filesystem::path folder_;
};
