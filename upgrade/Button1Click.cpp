// "&Get UPS Version": asks the UPS for its firmware and programmer versions.
#include "serial/Packet.h"
#include "serial/TRIComm.h"
#include "shell/Main.h"

void TTarvikUPSForm::Button1Click(TObject* /*Sender*/) {
  if (!ComOpened) {
    MessageBox(this, "Please open a COM Port!", "Burn");
    return;
  }
  L_UPSVersion->SetCaption("");
  packet::SendRequest(*RIComm, packet::VersionQueryRequest());
  // No valid answer shows nothing at all.
  const auto versions = packet::ReadVersionReply(*RIComm);
  if (!versions) return;
  L_UPSVersion->SetCaption(versions->ups_firmware);
  L_ProgrammerVersion->SetCaption(versions->programmer);
}
