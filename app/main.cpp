#include <QApplication>
#include <csignal>

#include "app/main_window.h"

int main(int argc, char** argv) {
    // A file-size limit (ulimit -f) fails a write with EFBIG, reported as a full disk is,
    // instead of killing the window in the middle of a run.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("HD DVD Kavrel"));
    QApplication::setOrganizationName(QStringLiteral("Tormund Software"));
    TfMain fMain;
    fMain.show();
    return QApplication::exec();
}
