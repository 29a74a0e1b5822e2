#include "platform/SerialLine.h"

// Not built yet: no port opens.
namespace platform {
namespace {
class NoPorts final : public SerialPorts {
 public:
  std::unique_ptr<SerialLine> Open(std::string_view) override { return nullptr; }
};
}  // namespace
SerialPorts& PosixPorts() {
  static NoPorts ports;
  return ports;
}
}  // namespace platform
