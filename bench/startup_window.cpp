// The real program's start-up path (runProgram) with a probe that reports
// when its window is first exposed; see startup_probe.h.
#include "app/handlers.h"
#include "platform/window.h"
#include "startup_probe.h"

int main(int argc, char** argv) {
  luting::initPlatform(argc, argv);
  qApp->installEventFilter(new luting::bench::ExposeProbe(qApp));
  return luting::runProgram(argc, argv);
}
