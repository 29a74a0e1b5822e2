// A main window whose listing the test writes directly, and the helpers to build lines and to
// see which entries of a ParseLine output were written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "support/FormFixture.h"

class ListingFixture : public FormFixture {
 protected:
  void SetListing(std::initializer_list<std::string_view> lines) {
    form->MM_HEX->Lines.Clear();
    for (const std::string_view line : lines) form->MM_HEX->Lines.Add(line);
  }
};

// A listing line: `address`, a blank, then `count` data bytes 00, 01, 02, ... each with its
// trailing blank.
inline std::string DataLine(const std::string& address, int count) {
  std::string line = address + " ";
  for (int k = 0; k < count; ++k) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X ", k & 0xFF);
    line += pair;
  }
  return line;
}

// Room for a ParseLine output (3 + 64 entries) and a guard after it, all preset to kUntouched.
inline constexpr int32_t kUntouched = 0x5A5A5A5A;
inline constexpr size_t kOutEntries = 3 + 64;
inline std::vector<int32_t> FreshOut() { return std::vector<int32_t>(kOutEntries + 8, kUntouched); }
