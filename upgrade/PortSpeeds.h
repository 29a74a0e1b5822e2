// Line speeds of the utility.
#pragma once

#include <cstdint>

// The speed a port is opened at by the user, at the start of a run and after it.
inline constexpr int32_t kBaseSpeed = 2400;
// The speed of the negotiation's fall-back stage.
inline constexpr int32_t kFallbackSpeed = 9600;
