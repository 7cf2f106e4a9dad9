#pragma once
// Filling the XPL page from a read playlist: the re-indented memo and the summary tree. Both
// are bounded: a text widget costs several hundred bytes a line, so a hostile playlist of a
// million tags would take gigabytes. A real playlist is a few thousand lines; what lies past
// the bound is counted in a last line instead of shown.
#include <cstddef>
#include <vector>

#include "playlist/playlist.h"

class QPlainTextEdit;
class QTreeWidget;

namespace kavrel::app {

inline constexpr std::size_t kMemoLinesShown = 20000;
inline constexpr std::size_t kTreeItemsShown = 5000;  // per top-level node

void showMemo(QPlainTextEdit* memo, const playlist::Memo& lines);
void showTree(QTreeWidget* tree, const std::vector<playlist::TreeNode>& nodes);

}  // namespace kavrel::app
