#pragma once
// Conversions between the window's QString paths and the core's std::filesystem paths.
#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace kavrel::app {

std::filesystem::path toPath(const QString& text);
QString fromPath(const std::filesystem::path& path);

// The core's messages and names are UTF-8.
inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string toUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// A folder as the window keeps it: native separators and one trailing separator.
QString folderWithSeparator(const QString& folder);

}  // namespace kavrel::app
