#include "app/playlist_view.h"

#include <QPlainTextEdit>
#include <QTreeWidget>
#include <algorithm>
#include <string>

#include "app/paths.h"

namespace kavrel::app {

namespace {

std::string notShown(std::size_t count, const char* what) {
    return "… " + std::to_string(count) + " more " + what + " not shown";
}

}  // namespace

void showMemo(QPlainTextEdit* memo, const playlist::Memo& lines) {
    const std::size_t shown = std::min(lines.size(), kMemoLinesShown);
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        text += lines[i];
        text += '\n';
    }
    if (shown < lines.size()) text += notShown(lines.size() - shown, "lines") + "\n";
    memo->setPlainText(fromUtf8(text));
}

void showTree(QTreeWidget* tree, const std::vector<playlist::TreeNode>& nodes) {
    tree->clear();
    for (const playlist::TreeNode& node : nodes) {
        auto* item = new QTreeWidgetItem(tree, {fromUtf8(node.text)});
        const std::size_t shown = std::min(node.children.size(), kTreeItemsShown);
        for (std::size_t i = 0; i < shown; ++i)
            new QTreeWidgetItem(item, {fromUtf8(node.children[i])});
        if (shown < node.children.size())
            new QTreeWidgetItem(item, {fromUtf8(notShown(node.children.size() - shown, "items"))});
    }
    tree->expandAll();
}

}  // namespace kavrel::app
