// Stand-ins for the rich edit and the progress bar.
#pragma once

#include "platform/Controls.h"
#include "platform/LineStore.h"

class QProgressBar;
class LinesView;

// A read-only, plain-text list of lines with both scroll bars and no word wrap. The lines
// live in `Lines`; the widget paints only the lines in view, so a listing of a million
// lines costs no more to show than a short one. After changing Lines, call LinesChanged()
// once (the widget is filled in one batch, never one repaint per line).
class TRichEdit : public TControl {
 public:
  explicit TRichEdit(TControl* parent);
  TLineStore Lines;
  void LinesChanged();
  void SetFont(const TFontSpec& font);
  int FirstVisibleLine() const;

 private:
  LinesView* view_;
};

class TProgressBar : public TControl {
 public:
  explicit TProgressBar(TControl* parent);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetMin(int min);
  void SetMax(int max);
  // Positions outside min..max are held at the nearer end, as the platform bar does.
  void SetPosition(int position);

 private:
  void Apply();
  QProgressBar* bar_;
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};
