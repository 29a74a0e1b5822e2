// A whole upgrade run through the window against a device that answers every request with
// fuzzer-provided bytes: the negotiation, the inquiries, the erase, every program packet,
// the read-back and the checksum comparison. The run must end, and the window must unlock.
//
// Input: byte 0 picks the listing (a narrow S-record, a wide S-record or an Intel HEX file),
// "Reading Comparison" and whether "&Get UPS Version" is clicked first; the rest is cut into
// timed replies (see FuzzLine.h).
#include <QApplication>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/FuzzLine.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/FakeLine.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "shell/checking.h"
#include "upgrade/SequencerVars.h"

namespace {

// Far more ticks than any run can take once the device falls silent.
constexpr int kTickLimit = 200000;

std::string files[3];
std::string answer;

void WriteFile(const std::string& path, const char* text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fputs(text, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication app(*argc, *argv);
  char pattern[] = "/tmp/upsfw-fuzz-run-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) std::abort();
  files[0] = std::string(dir) + "/narrow.s19";
  files[1] = std::string(dir) + "/wide.s19";
  files[2] = std::string(dir) + "/narrow.hex";
  WriteFile(files[0],
            "S113400055505301000000000000000000000000B3\n"
            "S1134010000102030405060708090A0B0C0D0E0F24\n"
            "S10B40201011121314151617F8\n"
            "S1074100AABBCCDDA9\n"
            "S9030000FC\n");
  WriteFile(files[1],
            "S2140080005550530100000000000000000000000072\n"
            "S214008010000102030405060708090A0B0C0D0E0FE3\n"
            "S208010000112233444C\n"
            "S804000000FB\n");
  WriteFile(files[2],
            ":1040000055505301000000000000000000000000B7\n"
            ":104010000102030405060708090A0B0C0D0E0F1018\n"
            ":044100001122334411\n"
            ":00000001FF\n");
  SetMessageBoxHandler([](const TMessageBoxRequest&) {});
  SetOpenDialogHandler([](const TOpenDialog&) { return std::optional<std::string>(answer); });
  TarvikUPSForm = new TTarvikUPSForm();
  TarvikUPSForm->Timer1->SetEnabled(false);
  FormChecking = new TFormChecking();
  TarvikUPSForm->Show();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  TTarvikUPSForm& form = *TarvikUPSForm;
  platform::VirtualClock clock;
  platform::ScopedClock use_clock(clock);
  auto line = std::make_unique<platform::FakeLine>(clock);
  platform::FakePorts ports;
  ports.Attach("COM1", *line);
  platform::ScopedPorts use_ports(ports);
  FuzzDevice device(CutReplies(data + 1, size - 1));
  line->AttachDevice(&device);

  answer = files[(data[0] & 3) % 3];
  form.BUT_LOAD->Click();
  if (!form.FileLoaded) std::abort();  // the listings above are good
  if (form.ComOpened || !form.OpenOnClick) form.BUT_OPEN->Click();
  form.BUT_OPEN->Click();
  if (!form.ComOpened) std::abort();
  form.CB_READ->SetChecked((data[0] & 4) != 0);
  if ((data[0] & 8) != 0) form.Button1->Click();

  form.BUT_BURN->Click();
  const bool started = form.Burning;
  int ticks = 0;
  while (form.Burning || TickStarted) {
    if (++ticks > kTickLimit) {
      std::fprintf(stderr, "the run did not end within %d ticks (step %d)\n", kTickLimit,
                   static_cast<int>(form.BurnStep));
      std::abort();
    }
    form.Timer1Timer(form.Timer1.get());
    clock.Advance_us(10'000);
  }
  // The run has ended: the window is unlocked and the port back at its first speed.
  if (!form.BUT_BURN->Enabled() || !form.BUT_LOAD->Enabled()) std::abort();
  if (started && form.BurnStep != kNoRun) std::abort();

  form.BUT_OPEN->Click();
  line->AttachDevice(nullptr);
  RIComm->Close();
  return 0;
}
