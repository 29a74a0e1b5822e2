#include "support/SimRun.h"

#include <sstream>

#include "firmware/HexToInt.h"
#include "upgrade/SequencerVars.h"

std::string ExampleFile(const std::string& name) {
  return std::string(UPSFW_SOURCE_DIR) + "/examples/" + name;
}

std::map<uint32_t, uint8_t> SimRunFixture::ListingBytes() const {
  std::map<uint32_t, uint8_t> bytes;
  const TLineStore& lines = form->MM_HEX->Lines;
  const size_t address_chars = 2 * static_cast<size_t>(form->AddrBytes);
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string_view text = lines[i];
    const auto address = static_cast<uint32_t>(HexToInt(text.substr(0, address_chars)));
    for (size_t k = 0, pos = address_chars + 1; pos + 2 <= text.size(); ++k, pos += 3) {
      bytes[address + static_cast<uint32_t>(k)] =
          static_cast<uint8_t>(HexToInt(text.substr(pos, 2)));
    }
  }
  return bytes;
}

RunResult SimRunFixture::Upgrade(const std::string& file, const sim::UpsConfig& config,
                                 bool read_comparison, int tick_limit) {
  RunResult result;
  platform::ScopedClock use_clock(clock);
  ups.reset();  // a UPS of an earlier run detaches from its line before that line goes
  line = std::make_unique<platform::FakeLine>(clock);
  ups = std::make_unique<sim::FakeLineUps>(*line, config);
  ports.Attach("COM1", *line);
  platform::ScopedPorts use_ports(ports);

  AnswerDialogWith(file);
  form->BUT_LOAD->Click();
  if (!form->FileLoaded) return result;
  form->BUT_OPEN->Click();
  form->CB_READ->SetChecked(read_comparison);
  const uint64_t start = clock.Now_us();
  form->BUT_BURN->Click();
  result.started = form->Burning;
  if (!result.started) {
    result.status = Status();
    result.colour = StatusColour();
    return result;
  }
  while (result.ticks < tick_limit) {
    form->Timer1Timer(form->Timer1.get());
    ++result.ticks;
    // The timer's interval passes between ticks.
    clock.Advance_us(10'000);
    if (!form->Burning && !TickStarted) {
      result.ended = true;
      break;
    }
  }
  result.status = Status();
  result.colour = StatusColour();
  result.virtual_us = clock.Now_us() - start;

  // The UPS's memory against the listing: listed bytes as listed, the rest of the range
  // erased, the excluded range not written.
  const auto expected = ListingBytes();
  const sim::AddressRange range = config.range;
  result.memory_matches = true;
  for (uint32_t address = range.first; address <= range.last; ++address) {
    if (config.excluded && config.excluded->Contains(address)) continue;
    const auto listed = expected.find(address);
    const uint8_t want = listed != expected.end() ? listed->second : 0xFF;
    const uint8_t have = ups->Model().Flash()[address - range.first];
    if (have != want) {
      std::ostringstream where;
      where << std::hex << "at 0x" << address << ": UPS holds 0x" << int{have} << ", file 0x"
            << int{want};
      result.first_difference = where.str();
      result.memory_matches = false;
      break;
    }
  }
  return result;
}
