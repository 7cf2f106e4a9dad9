// The window as a new user meets it: files named on the command line, the first size, the
// keyboard, and errors shown where the user looks.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "tests/app/window_helpers.h"

using namespace kavrel;
using namespace kavrel::apptest;
namespace fs = std::filesystem;

namespace {

const mkdisc::Layout& disc() {
    return test::sampleDisc();
}

QString currentPage(const TfMain& window) {
    return control<QTabWidget>(window, "PageControl")->currentWidget()->objectName();
}

// Whether a child lies wholly inside its parent's rectangle.
bool wholeInside(const QWidget* child) {
    return child->isVisible() && child->parentWidget()->rect().contains(child->geometry());
}

}  // namespace

class WindowStartTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { isolateSettings(); }
    void init() { store().clear(); }

    void fileOnTheCommandLineIsRead() {
        TfMain window;
        window.show();
        window.openArguments({app::fromPath(disc().feature1), QStringLiteral("more.EVO")});
        QVERIFY(logLines(window).contains("Opening file FEATURE_1.EVO"));
        QVERIFY(control<QCheckBox>(window, "cbVideo0")->isEnabled());
        // The note on the file left out comes last, where the log shows it.
        QCOMPARE(logLines(window).last(),
                 QStringLiteral("Only one file is opened at a time; left out: more.EVO"));
        QCOMPARE(currentPage(window), QStringLiteral("tsStatus"));
    }

    // Which field a file named on the command line fills (Auto read off), or the error it gives.
    void commandLineFiles_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("field");    // the control that takes the file, or empty
        QTest::addColumn<QString>("logPart");  // part of the line logged, or empty
        const fs::path dir = test::tempDir("arguments");
        const QString text = app::fromPath(dir / "notes.txt");
        test::writeFile(dir / "notes.txt", {'a'});
        const QString evo = app::fromPath(disc().feature1);
        const QString none;
        QTest::newRow("evo") << QStringList{evo} << "eEVOfile" << none;
        QTest::newRow("aob, unlike a drop")
            << QStringList{app::fromPath(disc().aob)} << "eEVOfile" << none;
        QTest::newRow("playlist") << QStringList{app::fromPath(disc().playlist)} << "eXPLfile"
                                  << none;
        QTest::newRow("unknown type")
            << QStringList{text} << none << text + ": not an EVO, VOB, AOB or XPL file";
        QTest::newRow("missing") << QStringList{evo + ".gone"} << none
                                 << "Error: Cannot open " + evo + ".gone: no such file";
        QTest::newRow("a folder") << QStringList{app::fromPath(dir)} << none << ": it is a folder";
        test::writeFile(dir / "blank.iso", {0});
        QTest::newRow("an image of no disc")
            << QStringList{app::fromPath(dir / "blank.iso")} << none
            << "Error: Cannot open " + app::fromPath(dir / "blank.iso") + ": ";
    }

    void commandLineFiles() {
        QFETCH(QStringList, files);
        QFETCH(QString, field);
        QFETCH(QString, logPart);
        store().setValue("AutoRead", 0);
        TfMain window;
        window.show();
        control<QTabWidget>(window, "PageControl")->setCurrentIndex(5);
        window.openArguments(files);

        const QString first = app::fromPath(fs::absolute(app::toPath(files.front())));
        for (const char* name : {"eEVOfile", "eXPLfile"}) {
            const QString shown = control<QLineEdit>(window, name)->text();
            QCOMPARE(shown == first, field == QLatin1String(name));
        }
        QVERIFY(!logLines(window).contains("Opening file FEATURE_1.EVO"));  // Auto read is off
        if (logPart.isEmpty()) {
            QCOMPARE(control<QTextEdit>(window, "reMessage")->toPlainText(), QString());
        } else {
            QVERIFY(!logLines(window).filter(logPart).isEmpty());
            QCOMPARE(currentPage(window), QStringLiteral("tsStatus"));
        }
    }

    void firstSizeShowsEveryTabAndTheStatusLine() {
        TfMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.minimumSize(), QSize(360, 414));

        auto* tabs = control<QTabWidget>(window, "PageControl")->tabBar();
        for (QToolButton* scroll : tabs->findChildren<QToolButton*>()) {
            QVERIFY2(!scroll->isVisible(), "the tab bar scrolls");
        }
        QVERIFY(tabs->tabRect(tabs->count() - 1).right() <= tabs->width());

        // The widest texts a run shows, with its progress bar.
        window.slog(QStringLiteral("Rebuilding FEATURE_1.EVO"), 0);
        window.slog(
            QStringLiteral("Rebuilding FEATURE_1.EVO 20480/20480 Mbytes, Remaining time: 0:00:00"),
            1);
        window.showProgress(1, 2);
        QCoreApplication::processEvents();
        for (const char* name : {"StatusPanel0", "StatusPanel1", "StatusProgress"}) {
            QVERIFY2(wholeInside(control<QWidget>(window, name)), name);
        }

        // A long line wraps instead of scrolling the log sideways.
        window.log("Creating " + std::string(400, 'x') + ".mpv");
        QCoreApplication::processEvents();
        QCOMPARE(control<QTextEdit>(window, "reMessage")->horizontalScrollBar()->maximum(), 0);
    }

    void keyboardReachesTheButtons() {
        store().setValue("AutoRead", 0);
        TfMain window;
        int browsed = 0;
        window.chooseInputFile = [&browsed](const QString&) {
            ++browsed;
            return QString();
        };
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(browsed, 1);  // a button's shortcut clicks it a moment later

        window.openArguments({app::fromPath(disc().feature1)});
        auto* field = control<QLineEdit>(window, "eEVOfile");
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(logLines(window).contains("Opening file FEATURE_1.EVO"));
        QVERIFY(control<QCheckBox>(window, "cbVideo0")->isEnabled());
    }

    void playlistTreeShowsItsEntries() {
        TfMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.openArguments({app::fromPath(disc().feature1)});
        control<QPushButton>(window, "bReadXPL")->click();
        QCOMPARE(currentPage(window), QStringLiteral("tsXPL"));
        auto* tree = control<QTreeWidget>(window, "tvXPL");
        QVERIFY(tree->topLevelItemCount() > 0);
        QCOMPARE(tree->horizontalScrollBar()->maximum(), 0);
    }

    void failedPlaylistReadShowsTheStatusPage() {
        const fs::path dir = test::tempDir("bad-playlist") / "ADV_OBJ";
        fs::create_directories(dir / "VPLST000.XPL");  // a folder where the playlist should be
        TfMain window;
        window.show();
        window.openArguments({app::fromPath(dir / "VPLST000.XPL")});
        QVERIFY(!logLines(window).filter("Error").isEmpty());
        QCOMPARE(currentPage(window), QStringLiteral("tsStatus"));
    }

    void demuxMakesAMissingOutputFolder() {
        const fs::path out = test::tempDir("made") / "new" / "folder";
        TfMain window;
        window.show();
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        window.openArguments({app::fromPath(disc().feature1)});
        control<QPushButton>(window, "bDemux")->click();
        QVERIFY(fs::exists(out / "FEATURE_1_FEATURE_2.VC-1.stream.0.mpv"));

        const fs::path blocked = test::tempDir("blocked") / "file";
        test::writeFile(blocked, {1});
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(blocked / "out"));
        control<QTabWidget>(window, "PageControl")->setCurrentIndex(1);
        control<QPushButton>(window, "bRebuild")->click();
        QVERIFY(
            !logLines(window)
                 .filter("Error: Cannot use the output folder " + app::fromPath(blocked / "out"))
                 .isEmpty());
        QCOMPARE(currentPage(window), QStringLiteral("tsStatus"));
    }
};

QTEST_MAIN(WindowStartTest)
#include "window_start_test.moc"
