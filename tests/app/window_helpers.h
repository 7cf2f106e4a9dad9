#pragma once
// Helpers of the window tests: finding controls by name, a settings store of the test's own,
// dropping files on the window and reading the log.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTextEdit>
#include <QUrl>
#include <filesystem>

#include "app/main_window.h"
#include "app/paths.h"
#include "tests/support/test_support.h"

namespace kavrel::apptest {

template <typename T>
T* control(const QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
}

// Keeps the settings of this test process apart from the user's and from other tests that
// run at the same time.
inline void isolateSettings() {
    QStandardPaths::setTestModeEnabled(true);
    const std::filesystem::path dir = test::tempDir("settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, app::fromPath(dir));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, app::fromPath(dir));
}

inline QSettings store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("Tormund Software"), QStringLiteral("Kavrel"));
}

// What an activation of the window does, without depending on the window manager.
inline void activate(TfMain& window) {
    QEvent event(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &event);
}

// Drops files on the window as the desktop does, then lets the queued read run.
inline void dropFiles(TfMain& window, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    QCoreApplication::processEvents();
}

inline QUrl fileUrl(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(app::fromPath(path));
}

inline QStringList logLines(const TfMain& window) {
    return control<QTextEdit>(window, "reMessage")->toPlainText().split(QLatin1Char('\n'));
}

}  // namespace kavrel::apptest
