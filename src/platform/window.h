// The search window over Qt Widgets, and the control operations on it.
//
// Controls are addressed by their names ("编辑框1", "按钮1", "超级列表框1", ...),
// which are also their Qt object names. Every text that enters or leaves a
// control is a GBK Text. Called on the window's thread an operation acts at
// once; called from a worker it is carried out on the window's thread, in the
// order issued, and the worker waits until it has been applied (a stopped
// worker's operations are dropped and reading ones give empty / -1).
#pragma once

#include <string>
#include <string_view>

class QWidget;

namespace luting {

enum class WindowEvent { created, startClicked, stopClicked, resultClicked };

// Sets up the toolkit (a QApplication unless one exists already).
void initPlatform(int& argc, char** argv);

void bindEvent(WindowEvent event, void (*handler)());

// Creates and shows the window; its creation runs the created handler.
void createSearchWindow();
// The window's widget, for tests and tools (null before creation).
QWidget* searchWindowWidget();
// Runs the message loop until the window is closed; returns the exit code.
int runMessageLoop();
// Deletes the window; control operations then do nothing.
void destroySearchWindow();

// Gives the calling thread's pending events one turn (nothing to do on a
// thread that owns no window).
void processPendingMessages();

std::string editText(std::string_view control);
void setEditText(std::string_view control, std::string_view text);
void setLabelCaption(std::string_view control, std::string_view text);
void setButtonEnabled(std::string_view control, bool enabled);
void deleteAllRows(std::string_view control);
// Appends a row at the end of the list and returns its index (from 0).
int appendRow(std::string_view control);
// Appends a row with the texts of its cells, shown complete at once, and
// returns its index (-1 when the window is gone).
int appendFilledRow(std::string_view control, std::string_view number, std::string_view title,
                    std::string_view link);
void setCellText(std::string_view control, int row, int cell, std::string_view text);
std::string cellText(std::string_view control, int row, int cell);
// Index of the first selected row, -1 when none is selected.
int firstSelectedRow(std::string_view control);

}  // namespace luting
