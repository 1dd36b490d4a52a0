// Start-up and the search window's event handlers.
#pragma once

namespace luting {

void onWindowCreated();
void onStartClicked();
void onStopClicked();
void onResultClicked();
void onProgramExit();

// Binds the handlers and creates and shows the window.
void setUpSearchWindow();
// Stops every search and waits for its worker to end; false when one is
// still running after the wait.
bool endSearches();
// The whole program: window, message loop, exit. Returns the exit status.
int runProgram(int& argc, char** argv);

}  // namespace luting
