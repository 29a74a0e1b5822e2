#include "platform/SerialLine.h"

#include <charconv>

namespace platform {

std::optional<LineSettings> ParseModeString(std::string_view mode) {
  const auto comma = mode.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  int32_t baud = 0;
  const auto digits = mode.substr(0, comma);
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), baud);
  if (ec != std::errc{} || end != digits.data() + digits.size() || baud <= 0) return std::nullopt;
  const auto rest = mode.substr(comma);
  if (rest != ",N,8,1" && rest != ",n,8,1") return std::nullopt;
  return LineSettings{baud};
}

namespace {
SerialPorts* current_ports = nullptr;
}

SerialPorts& CurrentPorts() { return current_ports != nullptr ? *current_ports : PosixPorts(); }

void SetPorts(SerialPorts* ports) { current_ports = ports; }

}  // namespace platform
