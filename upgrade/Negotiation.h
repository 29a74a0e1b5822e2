// The line speed that a negotiation reply asks for.
#pragma once

#include <cstdint>
#include <optional>

// 2400 * 2^n for a reply with a speed exponent (length 2 or more), 9600 without one.
// Exponents whose speed a 32-bit speed cannot hold (20 and above) give no speed: the line
// cannot take it, so the reopen fails as for any speed the serial layer refuses.
std::optional<int32_t> NegotiatedSpeed(uint8_t length, uint8_t exponent);

// Tries per stage, and the waits of the negotiation.
inline constexpr int kNegotiationTries = 3;
inline constexpr uint32_t kFirstStageHeaderLimit_ms = 1000;
inline constexpr uint32_t kFallbackHeaderLimit_ms = 500;
inline constexpr uint32_t kFallbackPause_ms = 3000;
