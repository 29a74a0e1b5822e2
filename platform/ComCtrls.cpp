#include "platform/ComCtrls.h"

#include <QAbstractScrollArea>
#include <QFontMetrics>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <algorithm>

class LinesView final : public QAbstractScrollArea {
 public:
  LinesView(QWidget* parent, const TLineStore& lines) : QAbstractScrollArea(parent), lines_(lines) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
  }

  void Refresh() {
    UpdateRanges();
    viewport()->update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(viewport());
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int line_height = std::max(1, metrics.height());
    const int first = verticalScrollBar()->value();
    const int rows = viewport()->height() / line_height + 1;
    const int x = -horizontalScrollBar()->value() + 1;
    for (int row = 0; row < rows && first + row < lines_.Count(); ++row) {
      const std::string_view line = lines_[first + row];
      painter.drawText(x, row * line_height + metrics.ascent(),
                       QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    }
  }
  void resizeEvent(QResizeEvent* event) override {
    QAbstractScrollArea::resizeEvent(event);
    UpdateRanges();
  }
  void scrollContentsBy(int, int) override { viewport()->update(); }

 private:
  void UpdateRanges() {
    const QFontMetrics metrics(font());
    const int line_height = std::max(1, metrics.height());
    const int visible_rows = std::max(1, viewport()->height() / line_height);
    verticalScrollBar()->setRange(0, std::max(0, lines_.Count() - visible_rows));
    verticalScrollBar()->setPageStep(visible_rows);
    const int text_width =
        metrics.horizontalAdvance(QLatin1Char('0')) * static_cast<int>(lines_.LongestLine());
    horizontalScrollBar()->setRange(0, std::max(0, text_width + 2 - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
  }
  const TLineStore& lines_;
};

TRichEdit::TRichEdit(TControl* parent)
    : TControl(parent, nullptr), view_(new LinesView(parent->Widget(), Lines)) {
  widget_ = view_;
}

void TRichEdit::LinesChanged() { view_->Refresh(); }

void TRichEdit::SetFont(const TFontSpec& font) {
  view_->setFont(ToQFont(font));
  view_->Refresh();
}

int TRichEdit::FirstVisibleLine() const { return view_->verticalScrollBar()->value(); }

TProgressBar::TProgressBar(TControl* parent)
    : TControl(parent, new QProgressBar(parent->Widget())),
      bar_(static_cast<QProgressBar*>(widget_)) {
  bar_->setTextVisible(false);
  Apply();
}

void TProgressBar::SetMin(int min) {
  min_ = min;
  if (max_ < min_) max_ = min_;
  SetPosition(position_);
}

void TProgressBar::SetMax(int max) {
  max_ = max;
  if (min_ > max_) min_ = max_;
  SetPosition(position_);
}

void TProgressBar::SetPosition(int position) {
  position_ = std::clamp(position, min_, max_);
  Apply();
}

void TProgressBar::Apply() {
  // The Qt bar shows a busy indicator for an empty range; keep it a plain bar.
  bar_->setRange(min_, max_ > min_ ? max_ : min_ + 1);
  bar_->setValue(position_);
}
