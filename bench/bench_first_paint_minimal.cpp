// The minimal Qt program: one QWidget shown; reports its first paint (see FirstPaint.h).
#include <QApplication>
#include <QWidget>

#include "FirstPaint.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  bench::ReportFirstPaint();
  QWidget window;
  window.show();
  return QApplication::exec();
}
