#include <QApplication>

#include "app/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("HD DVD Kavrel"));
    QApplication::setOrganizationName(QStringLiteral("Tormund Software"));
    TfMain fMain;
    fMain.show();
    return QApplication::exec();
}
