#include "shell/checking.h"

#include <QWidget>

TFormChecking* FormChecking = nullptr;

TFormChecking::TFormChecking() {
  SetCaption("Checking, Please Wait");
  SetBorderStyle(TBorderStyle::bsToolWindow);
  SetBorderIcons(TBorderIcons{false, false, false});
  SetClientSize(152, 45);
  SetPosition(TPosition::poDesigned);
  Widget()->move(295, 210);
  SetFont(TFontSpec{"MS Sans Serif", -11, clWindowText});
  SetVisibleAtCreation(false);
  Loaded();
}
