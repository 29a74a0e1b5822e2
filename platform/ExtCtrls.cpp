#include "platform/ExtCtrls.h"

#include <QFrame>
#include <QTimer>

TBevel::TBevel(TControl* parent) : TControl(parent, new QFrame(parent->Widget())) {
  SetShape(TBevelShape::bsBox);
}

void TBevel::SetShape(TBevelShape shape) {
  shape_ = shape;
  auto* frame = static_cast<QFrame*>(widget_);
  if (shape == TBevelShape::bsTopLine) {
    // A horizontal rule along the top edge of the bevel's bounds.
    frame->setFrameStyle(QFrame::NoFrame);
    frame->setStyleSheet("QFrame { border: none; border-top: 1px solid #a0a0a0; }");
  } else {
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  }
}

TTimer::TTimer() : timer_(new QTimer) {
  timer_->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer_, &QTimer::timeout, [this] {
    if (OnTimer) OnTimer(this);
  });
}

TTimer::~TTimer() { delete timer_; }

void TTimer::SetInterval(std::chrono::milliseconds interval) { timer_->setInterval(interval); }
std::chrono::milliseconds TTimer::Interval() const { return timer_->intervalAsDuration(); }

void TTimer::SetEnabled(bool enabled) {
  if (enabled) {
    timer_->start();
  } else {
    timer_->stop();
  }
}

bool TTimer::Enabled() const { return timer_->isActive(); }
