// The reference for start-up: a minimal Qt program showing an empty QWidget
// of the search window's size, probed the same way.
#include <QWidget>

#include "startup_probe.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.installEventFilter(new luting::bench::ExposeProbe(&app));
  QWidget window;
  window.resize(861, 600);
  window.show();
  return QApplication::exec();
}
