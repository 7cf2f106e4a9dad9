#include "app/paths.h"

#include <QDir>
#include <QFile>

namespace kavrel::app {

std::filesystem::path toPath(const QString& text) {
#ifdef Q_OS_WIN
    return std::filesystem::path(text.toStdWString());
#else
    // The file system's own encoding, so that names that are not valid UTF-8 survive.
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

QString fromPath(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.wstring());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
#endif
}

QString folderWithSeparator(const QString& folder) {
    if (folder.isEmpty()) return folder;
    QString native = QDir::toNativeSeparators(folder);
    if (!native.endsWith(QDir::separator())) native += QDir::separator();
    return native;
}

}  // namespace kavrel::app
