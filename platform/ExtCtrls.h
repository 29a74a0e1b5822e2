// Stand-ins for the bevel and the timer.
#pragma once

#include <chrono>

#include "platform/Controls.h"

class QTimer;

enum class TBevelShape { bsBox, bsTopLine };

class TBevel : public TControl {
 public:
  explicit TBevel(TControl* parent);
  void SetShape(TBevelShape shape);
  TBevelShape Shape() const { return shape_; }

 private:
  TBevelShape shape_ = TBevelShape::bsBox;
};

// A timer that runs OnTimer on the window's thread every Interval while it is enabled.
// A tick that runs long delays the next one; missed ticks are not made up.
class TTimer : public TObject {
 public:
  TTimer();
  ~TTimer() override;
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;
  void SetInterval(std::chrono::milliseconds interval);
  std::chrono::milliseconds Interval() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;
  TNotifyEvent OnTimer;

 private:
  QTimer* timer_;
};
