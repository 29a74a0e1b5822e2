// Reply frames as a UPS sends them, for tests that play the UPS themselves.
#pragma once

#include <cstdint>
#include <vector>

#include "serial/Protocol.h"

inline std::vector<uint8_t> FrameOf(protocol::Command command,
                                    const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame(payload.size() + 4);
  protocol::BuildFrame(frame.data(), command, payload);
  return frame;
}
