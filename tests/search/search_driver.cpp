// The real program, pointed at a test site, with a scripted user: it types a
// keyword, presses 开始搜索 and closes the window after a given time.
// Usage: search_driver HOST CA_FILE KEYWORD CLOSE_AFTER_MS
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

#include "app/handlers.h"
#include "platform/window.h"
#include "search/site.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const std::string keyword = argv[3];
  const int closeAfterMs = std::atoi(argv[4]);
  luting::initPlatform(argc, argv);
  luting::setSiteForTesting(argv[1], argv[2]);
  QTimer::singleShot(0, [keyword] {
    luting::setEditText("编辑框1", keyword);
    luting::searchWindowWidget()->findChild<QPushButton*>(QString::fromUtf8("按钮1"))->click();
  });
  QTimer::singleShot(closeAfterMs, [] { luting::searchWindowWidget()->close(); });
  return luting::runProgram(argc, argv);
}
