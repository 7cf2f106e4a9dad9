#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <csignal>
#include <cstring>

#include "app/logo.h"
#include "app/main_window.h"

namespace {

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Takes apart HD DVD (.EVO), DVD-Video (.VOB) and DVD-Audio (.AOB) "
                       "program streams."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("An .EVO, .VOB or .AOB file to read, or an HD DVD playlist (.XPL)."),
        QStringLiteral("[file]"));
}

// Whether the command line asks only for the help or the version text: that is printed
// without opening a display, so that it works on a terminal that has none.
bool asksForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--")) return false;
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (!std::strcmp(arg, option)) return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit (ulimit -f) fails a write with EFBIG, reported as a full disk is,
    // instead of killing the window in the middle of a run.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication::setApplicationName(QStringLiteral("HD DVD Kavrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVREL_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Tormund Software"));
    QCommandLineParser parser;
    describe(parser);
    if (asksForText(argc, argv)) {
        QCoreApplication text(argc, argv);
        parser.process(text);  // prints the text and ends the program
        return 0;
    }

    QApplication app(argc, argv);
    // Ties the window to its .desktop file and icon on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral(KAVREL_APP_ID));
    QApplication::setWindowIcon(kavrel::app::applicationIcon());
    parser.process(app);  // an unknown option is reported and ends the program
    TfMain fMain;
    fMain.show();
    // A file named on the command line is opened once the window is up, as a drop would be.
    const QStringList files = parser.positionalArguments();
    QTimer::singleShot(0, &fMain, [&fMain, files] { fMain.openArguments(files); });
    return QApplication::exec();
}
