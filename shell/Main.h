// The main window: every control, every handler and the state that lives between events.
//
// The handlers are defined beside the subsystem they belong to: the file reader in
// firmware/, port control, negotiation and the sequencer steps in upgrade/.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// The identification captured from the firmware file: 44 bytes.
struct TFileInfo {
  char VersionText[20];  // at most 16 characters and a terminator
  char ModelText[20];
  uint8_t FileID[4];
};
static_assert(sizeof(TFileInfo) == 44);

// Address width of the listing's lines, and the steps of the sequencer.
enum BurnSteps : int32_t {
  kNoRun = -1,
  kStepAddressInquiry = 0,
  kStepErase = 1,
  kStepProgram = 2,
  kStepReadBack = 3,
  kStepChecksum = 4,
  kStepFinished = 5,
};

// The colour argument of ShowStatus: blue, red, or keep the colour the line has.
inline constexpr std::optional<TColor> kKeepColour = std::nullopt;

class TTarvikUPSForm : public TForm {
 public:
  TTarvikUPSForm();
  ~TTarvikUPSForm() override;

  // --- Controls, by group box as the stored form lists them.
  TGroupBox* GroupBox2;
  TButton* BUT_OPEN;
  TComboBox* CB_COMPort;
  TButton* Button1;
  TCheckBox* CB_READ;
  TComboBox* CB_Default;
  TLabel* Label17;
  TBevel* Bevel1;
  TLabel* Label2;
  TLabel* L_UPSVersion;
  TLabel* Label5;
  TLabel* L_ProgrammerVersion;
  TLabel* Label10;
  TGroupBox* GroupBox1;
  TEdit* ED_FILENAME;
  TButton* BUT_LOAD;
  TRichEdit* MM_HEX;
  TLabel* Label3;
  TLabel* L_MODEL;
  TLabel* Label1;
  TLabel* L_VERSION;
  TLabel* Label4;
  TLabel* L_CHECKSUM;
  TGroupBox* GroupBox3;
  TButton* BUT_BURN;
  TProgressBar* PB_BURN;
  TEdit* ED_MSG;
  std::unique_ptr<TOpenDialog> OpenDialog1;
  std::unique_ptr<TTimer> Timer1;

  // --- Event handlers.
  void FormShow(TObject* Sender);                         // shell/Main.cpp
  void FormClose(TObject* Sender, TCloseAction& Action);  // shell/Main.cpp
  void BUT_OPENClick(TObject* Sender);                    // upgrade/BUT_OPENClick.cpp
  void CB_COMPortChange(TObject* Sender);                 // upgrade/CB_COMPortChange.cpp
  void Button1Click(TObject* Sender);                     // upgrade/Button1Click.cpp
  void BUT_LOADClick(TObject* Sender);                    // firmware/BUT_LOADClick.cpp
  void BUT_BURNClick(TObject* Sender);                    // upgrade/BUT_BURNClick.cpp
  void Timer1Timer(TObject* Sender);                      // upgrade/Timer1Timer.cpp

  // --- The status line: blue, red, or kKeepColour.
  void ShowStatus(const std::string& text, std::optional<TColor> colour);

  // --- Listing access and the target image (firmware/).
  int32_t ParseLine(int32_t index, int32_t* out);  // out: room for 3 + 64 entries
  int32_t LinesContiguous(int32_t a, int32_t b);
  bool PrepareImage();
  void BuildImage();

  // The sequencer's two ways of reporting a failure: a counted failure (red, then FailCount
  // + 1), and a silence report (red only when FailCount is above 0; FailCount + 1 in
  // either case, so the first silence of a step is never reported).
  void CountedFailure(const std::string& text);
  void SilenceReport(const std::string& text);

  // The port number that CB_COMPort selects (COM1 is 1).
  int SelectedPort() const { return CB_COMPort->ItemIndex() + 1; }

  // --- Shared state, in declared order.
  bool ComOpened = false;
  bool OpenOnClick = false;
  bool FileLoaded = false;
  bool Burning = false;
  int32_t WideAddress = 0;
  uint32_t StartAddr = 0;
  int32_t AddrBytes = 0;
  TFileInfo FileInfo{};
  uint32_t FileSum = 0;
  bool EraseRequest = false;
  uint32_t ImageSum = 0;
  uint32_t RomSize = 0;
  int32_t BurnedBytes = 0;
  int32_t BurnStep = 0;
  uint32_t ReadOffset = 0;
  std::unique_ptr<uint8_t[]> ImageBuf;  // RomSize bytes, or none
  uint8_t ExcludeStart[3] = {0, 0, 0};  // three-byte address in wire order
  uint8_t ExcludeEnd[3] = {0, 0, 0};

 private:
  void BuildStoredForm();  // shell/MainForm.cpp

  // Steps of the sequencer (upgrade/).
  void StepAddressInquiry();
  void StepErase();
  void StepProgram();
  void StepReadBack();
  void StepChecksum();
  void StepBlockReadBack();
  void StepLineReadBack();
  void SendProgramPacket();
  void StartTransition();
  void StopTransition();
};

extern TTarvikUPSForm* TarvikUPSForm;
