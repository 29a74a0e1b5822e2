// The main window as start-up leaves it, its hint chain, the status line, FormClose, and
// the program entry's handling of an escaping exception.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QWidget>

#include "serial/TRIComm.h"
#include "shell/ProgramEntry.h"
#include "support/FormFixture.h"
#include "upgrade/SequencerVars.h"

namespace {

using MainWindow = FormFixture;

TEST_F(MainWindow, StartsInItsInitialState) {
  EXPECT_EQ(form->Caption(), "UPS Firmware Upgrade v3.72");
  EXPECT_EQ(form->ClientWidth(), 408);
  EXPECT_EQ(form->ClientHeight(), 510);
  EXPECT_EQ(form->BUT_OPEN->Caption(), "&Open");
  EXPECT_TRUE(form->BUT_OPEN->Default());
  EXPECT_EQ(form->CB_COMPort->Text(), "COM1");
  EXPECT_EQ(form->CB_Default->Text(), "0xFF");
  EXPECT_FALSE(form->CB_Default->Enabled());
  EXPECT_TRUE(form->CB_READ->Checked());
  EXPECT_EQ(form->ED_MSG->Text(), "");
  EXPECT_EQ(form->PB_BURN->Position(), 0);
  EXPECT_EQ(form->PB_BURN->Min(), 0);
  EXPECT_EQ(form->PB_BURN->Max(), 100);
  for (const TLabel* label : {form->L_MODEL, form->L_VERSION, form->L_CHECKSUM, form->L_UPSVersion,
                              form->L_ProgrammerVersion}) {
    EXPECT_EQ(label->Caption(), "");
  }
  EXPECT_EQ(form->MM_HEX->Lines.Count(), 0);
  EXPECT_TRUE(form->OpenOnClick);
  EXPECT_FALSE(form->ComOpened);
  EXPECT_FALSE(form->FileLoaded);
  EXPECT_FALSE(form->Burning);
  EXPECT_EQ(form->BurnStep, -1);
  EXPECT_EQ(form->StartAddr, 0u);
  EXPECT_EQ(form->RomSize, 0xFFFF0000u);
  EXPECT_EQ(form->ImageBuf, nullptr);
  EXPECT_FALSE(checking->Visible());
  EXPECT_EQ(checking->Caption(), "Checking, Please Wait");
  EXPECT_EQ(checking->ClientWidth(), 152);
  EXPECT_EQ(checking->ClientHeight(), 45);
}

TEST_F(MainWindow, PlacesEveryControlAtItsBounds) {
  struct Row {
    const char* name;
    TControl* control;
    int left, top, width, height;
    TControl* parent;
  };
  TTarvikUPSForm& f = *form;
  const Row rows[] = {
      {"GroupBox2", f.GroupBox2, 8, 8, 393, 151, &f},
      {"BUT_OPEN", f.BUT_OPEN, 245, 19, 88, 25, f.GroupBox2},
      {"CB_COMPort", f.CB_COMPort, 75, 20, 134, 21, f.GroupBox2},
      {"Button1", f.Button1, 9, 63, 108, 25, f.GroupBox2},
      {"CB_READ", f.CB_READ, 8, 96, 123, 17, f.GroupBox2},
      {"CB_Default", f.CB_Default, 249, 94, 48, 21, f.GroupBox2},
      {"Label17", f.Label17, 20, 24, 49, 13, f.GroupBox2},
      {"Bevel1", f.Bevel1, 8, 48, 377, 9, f.GroupBox2},
      {"Label2", f.Label2, 135, 60, 108, 13, f.GroupBox2},
      {"L_UPSVersion", f.L_UPSVersion, 246, 60, 139, 13, f.GroupBox2},
      {"Label5", f.Label5, 146, 78, 97, 13, f.GroupBox2},
      {"L_ProgrammerVersion", f.L_ProgrammerVersion, 246, 78, 139, 13, f.GroupBox2},
      {"GroupBox1", f.GroupBox1, 8, 166, 393, 243, &f},
      {"ED_FILENAME", f.ED_FILENAME, 117, 20, 262, 21, f.GroupBox1},
      {"BUT_LOAD", f.BUT_LOAD, 13, 19, 97, 25, f.GroupBox1},
      {"MM_HEX", f.MM_HEX, 13, 98, 367, 133, f.GroupBox1},
      {"GroupBox3", f.GroupBox3, 8, 416, 393, 85, &f},
      {"BUT_BURN", f.BUT_BURN, 13, 19, 97, 25, f.GroupBox3},
      {"PB_BURN", f.PB_BURN, 13, 52, 370, 21, f.GroupBox3},
      {"ED_MSG", f.ED_MSG, 117, 20, 266, 21, f.GroupBox3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.control->Left(), row.left);
    EXPECT_EQ(row.control->Top(), row.top);
    EXPECT_EQ(row.control->Width(), row.width);
    EXPECT_EQ(row.control->Height(), row.height);
    EXPECT_EQ(row.control->Parent(), row.parent);
    EXPECT_EQ(row.control->Widget()->parentWidget(), row.parent->Widget());
  }
  // Auto-sized labels keep their left and top edges.
  EXPECT_EQ(f.L_CHECKSUM->Left(), 280);
  EXPECT_EQ(f.L_MODEL->Top(), 56);
}

TEST_F(MainWindow, ShowsCaptionsItemsAndHints) {
  TTarvikUPSForm& f = *form;
  EXPECT_EQ(f.GroupBox2->Caption(), "Select COM Port");
  EXPECT_EQ(f.GroupBox1->Caption(), "Load File");
  EXPECT_EQ(f.GroupBox3->Caption(), "Start to Program");
  EXPECT_EQ(f.Button1->Caption(), "&Get UPS Version");
  EXPECT_EQ(f.BUT_LOAD->Caption(), "&Browse...");
  EXPECT_EQ(f.BUT_BURN->Caption(), "&Upgrade");
  EXPECT_EQ(f.CB_READ->Caption(), "Reading Comparison");
  EXPECT_EQ(f.Label10->Caption(), "Default Empty Value: ");
  EXPECT_EQ(f.Label2->Caption(), "UPS Firmware Version:");
  EXPECT_EQ(f.Label2->Alignment(), TAlignment::taRightJustify);
  EXPECT_EQ(f.CB_COMPort->Items(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
  EXPECT_EQ(f.CB_Default->Items(), (std::vector<std::string>{"0x00", "0xFF"}));
  EXPECT_TRUE(f.ED_MSG->ReadOnly());
  EXPECT_TRUE(f.ED_FILENAME->ReadOnly());
  EXPECT_EQ(f.OpenDialog1->Filter, "S19 files (*s19)|*.s19|HEX files (*hex)|*.hex");
  EXPECT_EQ(f.OpenDialog1->DefaultExt, "UPS");
  EXPECT_EQ(f.Timer1->Interval(), std::chrono::milliseconds(10));

  // The hint chain: the combo box shows hints but has none of its own, so the window's.
  EXPECT_EQ(f.CB_COMPort->Widget()->toolTip().toStdString(), "Choose a communication port");
  EXPECT_EQ(f.BUT_OPEN->Widget()->toolTip().toStdString(), "Open/Close the selected COM Port");
  EXPECT_EQ(f.BUT_BURN->Widget()->toolTip().toStdString(), "Start to burn the UPS firmware");
  EXPECT_TRUE(f.Label17->Widget()->toolTip().isEmpty());
  EXPECT_TRUE(f.Widget()->toolTip().isEmpty());
}

TEST_F(MainWindow, FollowsItsTabOrder) {
  TTarvikUPSForm& f = *form;
  const QWidget* expected[] = {f.ED_FILENAME->Widget(), f.BUT_LOAD->Widget(),   f.MM_HEX->Widget(),
                               f.BUT_OPEN->Widget(),    f.CB_COMPort->Widget(), f.Button1->Widget(),
                               f.CB_READ->Widget()};
  // The next widget that Tab moves to: the next one in the focus chain that takes it.
  const auto next_tab_stop = [](const QWidget* w) {
    QWidget* next = w->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
  };
  for (size_t i = 0; i + 1 < std::size(expected); ++i) {
    EXPECT_EQ(next_tab_stop(expected[i]), expected[i + 1]) << i;
  }
}

TEST_F(MainWindow, MessageWithoutColourKeepsTheColourBefore) {
  form->ShowStatus("No Response!", clRed);
  EXPECT_EQ(StatusColour(), clRed);
  form->ShowStatus("UPS: Sections Cleard!", kKeepColour);
  EXPECT_EQ(Status(), "UPS: Sections Cleard!");
  EXPECT_EQ(StatusColour(), clRed);
  form->ShowStatus("Erasing!", clBlue);
  form->ShowStatus("UPS: Sections Cleard!", kKeepColour);
  EXPECT_EQ(StatusColour(), clBlue);
}

TEST_F(MainWindow, FormCloseFreesTheImageAndEndsARun) {
  form->ImageBuf = std::make_unique<uint8_t[]>(16);
  form->Burning = true;
  TickStarted = true;
  TCloseAction action = TCloseAction::caHide;
  form->FormClose(form.get(), action);
  EXPECT_EQ(form->ImageBuf, nullptr);
  EXPECT_FALSE(form->Burning);
  EXPECT_FALSE(TickStarted);
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(action, TCloseAction::caHide);
  // A tick after the close finds no run and touches nothing.
  form->Timer1Timer(form->Timer1.get());
  EXPECT_EQ(form->ImageBuf, nullptr);
}

TEST(ProgramEntry, ShowsAnEscapingExceptionCaptionedWithTheTitleAndReturnsZero) {
  std::vector<TMessageBoxRequest> shown;
  SetMessageBoxHandler([&](const TMessageBoxRequest& box) { shown.push_back(box); });
  TApplication app;
  const int code = ProgramEntry(app, [](TApplication&) { throw Exception("window broke"); });
  SetMessageBoxHandler(nullptr);
  EXPECT_EQ(code, 0);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "UPS Firmware Programming");
  EXPECT_EQ(shown[0].text, "window broke");
  EXPECT_TRUE(shown[0].error_icon);
}

TEST(ProgramEntry, RunsUntilTheMainWindowClosesAndReturnsZero) {
  TApplication app;
  TTarvikUPSForm* main_form = nullptr;
  TFormChecking* checking_form = nullptr;
  const int code = ProgramEntry(app, [&](TApplication& a) {
    a.CreateForm(main_form);
    a.CreateForm(checking_form);
    main_form->Timer1->SetEnabled(false);
    EXPECT_TRUE(main_form->Visible());
    EXPECT_FALSE(checking_form->Visible());
    EXPECT_EQ(a.MainForm(), main_form);
    QMetaObject::invokeMethod(
        main_form->Widget(), [main_form] { main_form->Close(); }, Qt::QueuedConnection);
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(app.Title(), "UPS Firmware Programming");
}

// A picture of the window for a person to compare with its description.
TEST_F(MainWindow, SavesAScreenshot) {
  form->ShowStatus("UPS: Programming!", clBlue);
  const QString path = QString(UPSFW_BINARY_DIR) + "/screenshots/main-window.png";
  QDir().mkpath(QString(UPSFW_BINARY_DIR) + "/screenshots");
  const QPixmap shot = form->Widget()->grab();
  ASSERT_TRUE(shot.save(path));
  EXPECT_EQ(shot.width(), 408);
}

}  // namespace
