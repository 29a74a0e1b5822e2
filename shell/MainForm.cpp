// The stored description of the main window: every control with its bounds, caption,
// items, hint and settings, created in tab order within each group box.
#include <QWidget>

#include "shell/AppIcon.h"
#include "shell/Main.h"

void TTarvikUPSForm::BuildStoredForm() {
  SetCaption("UPS Firmware Upgrade v3.72");
  SetBorderStyle(TBorderStyle::bsSingle);
  SetBorderIcons(TBorderIcons{true, true, false});
  SetClientSize(408, 510);
  SetPosition(TPosition::poScreenCenter);
  SetColor(clBtnFace);
  SetFont(TFontSpec{"MS Sans Serif", -11, clWindowText});
  SetHint("Choose a communication port");
  SetShowHint(false);
  SetVisibleAtCreation(true);
  Widget()->setWindowIcon(MakeAppIcon());

  // "Load File" comes first in the tab order of the three boxes.
  GroupBox1 = Make<TGroupBox>(this);
  GroupBox1->SetBounds(8, 166, 393, 243);
  GroupBox1->SetCaption("Load File");

  ED_FILENAME = Make<TEdit>(GroupBox1);
  ED_FILENAME->SetBounds(117, 20, 262, 21);
  ED_FILENAME->SetReadOnly(true);
  ED_FILENAME->SetColor(clBtnFace);

  BUT_LOAD = Make<TButton>(GroupBox1);
  BUT_LOAD->SetBounds(13, 19, 97, 25);
  BUT_LOAD->SetCaption("&Browse...");
  BUT_LOAD->SetHint("Select a s19 file");
  BUT_LOAD->SetShowHint(true);
  BUT_LOAD->OnClick = [this](TObject* sender) { BUT_LOADClick(sender); };

  MM_HEX = Make<TRichEdit>(GroupBox1);
  MM_HEX->SetBounds(13, 98, 367, 133);
  MM_HEX->SetFont(TFontSpec{"Courier", -11, clWindowText});

  Label3 = Make<TLabel>(GroupBox1);
  Label3->SetBounds(12, 56, 32, 13);
  Label3->SetCaption("Model:");
  Label3->SetTransparent(true);

  L_MODEL = Make<TLabel>(GroupBox1);
  L_MODEL->SetBounds(55, 56, 3, 13);
  L_MODEL->SetTransparent(true);

  Label1 = Make<TLabel>(GroupBox1);
  Label1->SetBounds(14, 78, 83, 13);
  Label1->SetCaption("Firmware Version:");
  Label1->SetTransparent(true);

  L_VERSION = Make<TLabel>(GroupBox1);
  L_VERSION->SetBounds(106, 80, 3, 13);
  L_VERSION->SetTransparent(true);

  Label4 = Make<TLabel>(GroupBox1);
  Label4->SetBounds(218, 78, 53, 13);
  Label4->SetCaption("Checksum:");
  Label4->SetTransparent(true);

  L_CHECKSUM = Make<TLabel>(GroupBox1);
  L_CHECKSUM->SetBounds(280, 80, 3, 13);
  L_CHECKSUM->SetTransparent(true);

  GroupBox2 = Make<TGroupBox>(this);
  GroupBox2->SetBounds(8, 8, 393, 151);
  GroupBox2->SetCaption("Select COM Port");

  BUT_OPEN = Make<TButton>(GroupBox2);
  BUT_OPEN->SetBounds(245, 19, 88, 25);
  BUT_OPEN->SetCaption("&Open");
  BUT_OPEN->SetDefault(true);
  BUT_OPEN->SetHint("Open/Close the selected COM Port");
  BUT_OPEN->SetShowHint(true);
  BUT_OPEN->OnClick = [this](TObject* sender) { BUT_OPENClick(sender); };

  CB_COMPort = Make<TComboBox>(GroupBox2);
  CB_COMPort->SetBounds(75, 20, 134, 21);
  CB_COMPort->SetItems({"COM1", "COM2", "COM3", "COM4"});
  CB_COMPort->SetShowHint(true);
  CB_COMPort->OnChange = [this](TObject* sender) { CB_COMPortChange(sender); };

  Button1 = Make<TButton>(GroupBox2);
  Button1->SetBounds(9, 63, 108, 25);
  Button1->SetCaption("&Get UPS Version");
  Button1->SetHint("Get the version number from the connected UPS");
  Button1->SetShowHint(true);
  Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };

  CB_READ = Make<TCheckBox>(GroupBox2);
  CB_READ->SetBounds(8, 96, 123, 17);
  CB_READ->SetCaption("Reading Comparison");

  CB_Default = Make<TComboBox>(GroupBox2);
  CB_Default->SetBounds(249, 94, 48, 21);
  CB_Default->SetItems({"0x00", "0xFF"});
  CB_Default->SetEnabled(false);
  CB_Default->SetShowHint(true);

  Label17 = Make<TLabel>(GroupBox2);
  Label17->SetBounds(20, 24, 49, 13);
  Label17->SetCaption("COM Port:");
  Label17->SetTransparent(true);

  Bevel1 = Make<TBevel>(GroupBox2);
  Bevel1->SetBounds(8, 48, 377, 9);
  Bevel1->SetShape(TBevelShape::bsTopLine);

  Label2 = Make<TLabel>(GroupBox2);
  Label2->SetAutoSize(false);
  Label2->SetBounds(135, 60, 108, 13);
  Label2->SetCaption("UPS Firmware Version:");
  Label2->SetAlignment(TAlignment::taRightJustify);
  Label2->SetTransparent(true);

  L_UPSVersion = Make<TLabel>(GroupBox2);
  L_UPSVersion->SetAutoSize(false);
  L_UPSVersion->SetBounds(246, 60, 139, 13);
  L_UPSVersion->SetTransparent(true);

  Label5 = Make<TLabel>(GroupBox2);
  Label5->SetAutoSize(false);
  Label5->SetBounds(146, 78, 97, 13);
  Label5->SetCaption("Programmer Version:");
  Label5->SetAlignment(TAlignment::taRightJustify);
  Label5->SetTransparent(true);

  L_ProgrammerVersion = Make<TLabel>(GroupBox2);
  L_ProgrammerVersion->SetAutoSize(false);
  L_ProgrammerVersion->SetBounds(246, 78, 139, 13);
  L_ProgrammerVersion->SetTransparent(true);

  Label10 = Make<TLabel>(GroupBox2);
  Label10->SetBounds(144, 98, 102, 13);
  Label10->SetCaption("Default Empty Value: ");

  GroupBox3 = Make<TGroupBox>(this);
  GroupBox3->SetBounds(8, 416, 393, 85);
  GroupBox3->SetCaption("Start to Program");

  BUT_BURN = Make<TButton>(GroupBox3);
  BUT_BURN->SetBounds(13, 19, 97, 25);
  BUT_BURN->SetCaption("&Upgrade");
  BUT_BURN->SetHint("Start to burn the UPS firmware");
  BUT_BURN->SetShowHint(true);
  BUT_BURN->OnClick = [this](TObject* sender) { BUT_BURNClick(sender); };

  PB_BURN = Make<TProgressBar>(GroupBox3);
  PB_BURN->SetBounds(13, 52, 370, 21);
  PB_BURN->SetMin(0);
  PB_BURN->SetMax(100);
  PB_BURN->SetPosition(0);

  ED_MSG = Make<TEdit>(GroupBox3);
  ED_MSG->SetBounds(117, 20, 266, 21);
  ED_MSG->SetReadOnly(true);
  ED_MSG->SetColor(clBtnFace);

  // Tab order: the boxes "Load File", "Select COM Port", "Start to Program", and within
  // each box the controls that take the focus in the order of the description.
  QWidget* const order[] = {ED_FILENAME->Widget(), BUT_LOAD->Widget(),   MM_HEX->Widget(),
                            BUT_OPEN->Widget(),    CB_COMPort->Widget(), Button1->Widget(),
                            CB_READ->Widget(),     CB_Default->Widget(), BUT_BURN->Widget(),
                            ED_MSG->Widget()};
  for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
  PB_BURN->Widget()->setFocusPolicy(Qt::NoFocus);

  OpenDialog1 = std::make_unique<TOpenDialog>(this);
  OpenDialog1->Filter = "S19 files (*s19)|*.s19|HEX files (*hex)|*.hex";
  OpenDialog1->DefaultExt = "UPS";

  Timer1 = std::make_unique<TTimer>();
  Timer1->SetInterval(std::chrono::milliseconds(10));
  Timer1->OnTimer = [this](TObject* sender) { Timer1Timer(sender); };
  Timer1->SetEnabled(true);

  OnShow = [this](TObject* sender) { FormShow(sender); };
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
  Loaded();
}
