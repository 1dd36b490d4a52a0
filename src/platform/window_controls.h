// The search window's controls by index, shared by the window's set-up and
// the control operations. The widget table is touched on the window's thread
// only; the names are constant and may be looked up anywhere.
#pragma once

#include <array>
#include <string_view>

class QWidget;

namespace luting {

class ResultListModel;

enum class ControlKind { edit, button, label, list };

struct ControlInfo {
  std::string_view name;  // UTF-8, also the widget's object name
  ControlKind kind;
};

inline constexpr std::array<ControlInfo, 7> controlInfo{{
    {"编辑框1", ControlKind::edit},
    {"按钮1", ControlKind::button},
    {"按钮2", ControlKind::button},
    {"标签1", ControlKind::label},
    {"标签2", ControlKind::label},
    {"超级列表框1", ControlKind::list},
    {"编辑框2", ControlKind::edit},
}};

// Index into controlInfo, -1 for an unknown name.
int controlIndex(std::string_view name);

// Set while the window exists, null otherwise.
extern std::array<QWidget*, controlInfo.size()> controlWidgets;
extern ResultListModel* resultModel;

// Makes the calling thread the window's thread (the one owning the toolkit).
void recordWindowThread();
bool onWindowThread();

}  // namespace luting
