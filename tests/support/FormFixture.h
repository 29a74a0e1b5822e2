// A main window for one test: created and shown offscreen, with message boxes and the open
// dialog answered by the test, Timer1 stopped (the test ticks by hand), and the sequencer's
// module variables as a fresh program has them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "shell/Main.h"
#include "shell/checking.h"

struct RecordedBox {
  std::string caption;
  std::string text;
  bool operator==(const RecordedBox&) const = default;
};

class FormFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The next open dialog returns `path` (nothing: cancelled).
  void AnswerDialogWith(std::optional<std::string> path) { dialog_answer_ = std::move(path); }
  // The status line's text and colour.
  std::string Status() const { return form->ED_MSG->Text(); }
  TColor StatusColour() const { return form->ED_MSG->FontColor(); }

  std::unique_ptr<TTarvikUPSForm> form;
  std::unique_ptr<TFormChecking> checking;
  std::vector<RecordedBox> boxes;
  std::vector<std::string> dialog_initial_dirs;
  // Every text the status line showed, in order.
  std::vector<std::string> status_history;

 private:
  std::optional<std::string> dialog_answer_;
};
