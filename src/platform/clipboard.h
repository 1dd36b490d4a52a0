// The system clipboard.
#pragma once

#include <string_view>

namespace luting {

// Replaces the clipboard's contents with a GBK Text as plain text.
// Returns false (and leaves the clipboard as it was) when it cannot be opened.
bool putClipboardText(std::string_view gbkText);

}  // namespace luting
