// "&Upgrade": checks that a port is open and a file loaded, then negotiates the address mode
// and the line speed with the UPS and hands the run to the sequencer.
#include "platform/Clock.h"
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"
#include "shell/checking.h"
#include "upgrade/Negotiation.h"
#include "upgrade/PortSpeeds.h"

namespace {

// Closes the port and opens it again at `speed` (none: a speed the line cannot take).
// A failure is shown and clears ComOpened; the caller carries on.
void Reopen(TTarvikUPSForm& form, std::optional<int32_t> speed) {
  RIComm->Close();
  if (!speed || !RIComm->Open(form.SelectedPort(), *speed)) {
    MessageBox(&form, "Open COM Port Failed!", "");
    form.ComOpened = false;
  }
}

// One stage of up to three tries. Returns the valid reply, if one came.
std::optional<packet::NegotiationReply> NegotiationStage(TTarvikUPSForm& form,
                                                         uint32_t header_limit_ms) {
  for (int attempt = 0; attempt < kNegotiationTries; ++attempt) {
    packet::SendRequest(*RIComm, packet::NegotiationRequest(form.FileInfo.FileID));
    const packet::NegotiationReply reply = packet::ReadNegotiationReply(*RIComm, header_limit_ms);
    if (reply.outcome == packet::Outcome::kValid) return reply;
    if (reply.outcome == packet::Outcome::kSumError) form.ShowStatus("Checksum Error", clRed);
  }
  return std::nullopt;
}

void CloseChecking() {
  if (FormChecking != nullptr) FormChecking->Hide();
}

}  // namespace

void TTarvikUPSForm::BUT_BURNClick(TObject* /*Sender*/) {
  if (!ComOpened) {
    MessageBox(this, "Please open a COM Port!", "Burn");
    return;
  }
  if (!FileLoaded) {
    MessageBox(this, "Please load a hex file!", "Burn");
    return;
  }
  Reopen(*this, kBaseSpeed);
  Burning = false;
  PB_BURN->SetPosition(0);
  PB_BURN->SetMin(0);
  PB_BURN->SetMax(MM_HEX->Lines.Count() + 2);
  ShowStatus("", clBlue);
  BurnedBytes = 0;
  WideAddress = 0;
  // The window must be seen although this handler now blocks for seconds.
  if (FormChecking != nullptr) FormChecking->ShowAndPaint();

  int32_t stage_speed = kBaseSpeed;
  auto reply = NegotiationStage(*this, kFirstStageHeaderLimit_ms);
  if (!reply) {
    Reopen(*this, kFallbackSpeed);
    Sleep(kFallbackPause_ms);
    stage_speed = kFallbackSpeed;
    reply = NegotiationStage(*this, kFallbackHeaderLimit_ms);
  }
  if (!reply) {
    CloseChecking();
    ShowStatus("The UPS Does Not Response!", clRed);
    return;
  }

  if (reply->length >= 1 && protocol::HighNibble(reply->mode) == protocol::kWideModeNibble) {
    WideAddress = 1;
  }
  const std::optional<int32_t> speed = NegotiatedSpeed(reply->length, reply->exponent);
  if (speed != stage_speed) Reopen(*this, speed);
  Burning = true;
  CloseChecking();
}
