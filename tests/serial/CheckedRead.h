// A read through the serial port object that also checks what a failed read must leave: the
// count as it was and the destination untouched.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "serial/TRIComm.h"

// The bytes read, or nothing on time-out.
inline std::optional<std::vector<uint8_t>> CheckedRead(TRIComm& comm, int count,
                                                       uint32_t limit_ms) {
  std::vector<uint8_t> dst(static_cast<size_t>(count), 0xEE);
  int n = count;
  const bool ok = comm.Read(dst.data(), n, limit_ms);
  EXPECT_EQ(n, count);
  if (!ok) {
    EXPECT_EQ(dst, std::vector<uint8_t>(static_cast<size_t>(count), 0xEE)) << "destination touched";
    return std::nullopt;
  }
  return dst;
}
