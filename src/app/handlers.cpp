#include "app/handlers.h"

#include <chrono>
#include <cstdlib>
#include <string>

#include "app/search_state.h"
#include "platform/clipboard.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "search/worker.h"

namespace luting {

void onWindowCreated() { searchState.pageNumber = 1; }

void onStartClicked() {
  // A new search replaces one that is still paging: from here on the earlier
  // worker requests, lists and changes nothing, and it ends before the new
  // one touches the search state.
  stopAllThreads();
  deleteAllRows("超级列表框1");
  searchState.running = 1;
  setLabelCaption("标签1", "");
  setLabelCaption("标签2", "");
  setEditText("编辑框2", "");
  startDetachedThread(runSearch);  // when it cannot start, 按钮1 stays disabled
  setButtonEnabled("按钮1", false);
}

void onStopClicked() { searchState.running = 0; }

void onResultClicked() {
  const std::string link = cellText("超级列表框1", firstSelectedRow("超级列表框1"), 2);
  putClipboardText(link);
  setEditText("编辑框2", cellText("超级列表框1", firstSelectedRow("超级列表框1"), 2));
}

void onProgramExit() {
  searchState.encodedKeyword.clear();
  searchState.encodedKeyword.shrink_to_fit();
}

void setUpSearchWindow() {
  bindEvent(WindowEvent::created, onWindowCreated);
  bindEvent(WindowEvent::startClicked, onStartClicked);
  bindEvent(WindowEvent::stopClicked, onStopClicked);
  bindEvent(WindowEvent::resultClicked, onResultClicked);
  createSearchWindow();
}

bool endSearches() {
  stopAllThreads();
  return waitForAllThreads(std::chrono::milliseconds(800));
}

int runProgram(int& argc, char** argv) {
  initPlatform(argc, argv);
  std::atexit(onProgramExit);
  setUpSearchWindow();
  const int status = runMessageLoop();
  // The window is gone. A worker abandons its request at once when told to
  // stop; should one still not have ended, end the process before anything
  // it might touch is released.
  if (!endSearches()) std::_Exit(status);
  destroySearchWindow();
  return status;
}

}  // namespace luting
