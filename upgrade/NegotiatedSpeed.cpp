#include "upgrade/Negotiation.h"
#include "upgrade/PortSpeeds.h"

std::optional<int32_t> NegotiatedSpeed(uint8_t length, uint8_t exponent) {
  if (length < 2) return kFallbackSpeed;
  constexpr uint8_t kFirstExponentTooLarge = 20;  // 2400 * 2^20 > INT32_MAX
  if (exponent >= kFirstExponentTooLarge) return std::nullopt;
  return kBaseSpeed * (int32_t{1} << exponent);
}
