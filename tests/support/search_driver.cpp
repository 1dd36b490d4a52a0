// The real program, pointed at a test site, with a scripted user: it types a
// keyword, presses 开始搜索 and closes the window, either after CLOSE ms or,
// with CLOSE "stdin", when a line arrives on standard input. It writes
// "closed" to standard output as it closes the window.
// Usage: search_driver HOST CA_FILE KEYWORD CLOSE
#include <unistd.h>

#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/handlers.h"
#include "platform/window.h"
#include "search/site.h"

namespace {

void closeWindow() {
  std::fputs("closed\n", stdout);
  std::fflush(stdout);
  if (QWidget* window = luting::searchWindowWidget()) window->close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const std::string keyword = argv[3];
  const bool onInput = std::strcmp(argv[4], "stdin") == 0;
  const int closeAfterMs = std::atoi(argv[4]);
  luting::initPlatform(argc, argv);
  luting::setSiteForTesting(argv[1], argv[2]);
  QTimer::singleShot(0, [keyword] {
    luting::setEditText("编辑框1", keyword);
    luting::searchWindowWidget()->findChild<QPushButton*>(QString::fromUtf8("按钮1"))->click();
  });
  if (onInput) {
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(input, &QSocketNotifier::activated, [input] {
      char buffer[64];
      if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) input->setEnabled(false);
      closeWindow();
    });
  } else {
    QTimer::singleShot(closeAfterMs, closeWindow);
  }
  return luting::runProgram(argc, argv);
}
