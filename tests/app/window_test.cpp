// The window without runs: its controls, choosing and dropping files, the companion folders,
// the stream boxes' effect on the buttons, the log's rich text and the status line.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QTreeWidget>
#include <fstream>

#include "app/logo.h"
#include "tests/app/window_helpers.h"

using namespace kavrel;
using namespace kavrel::apptest;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "";
}

QString native(const fs::path& path) {
    return QDir::toNativeSeparators(app::fromPath(path));
}

// The character format of the character at offset in the log's last line.
QTextCharFormat formatAt(const TfMain& window, int offset) {
    QTextDocument* document = control<QTextEdit>(window, "reMessage")->document();
    QTextCursor cursor(document->lastBlock());
    cursor.setPosition(document->lastBlock().position() + offset + 1);
    return cursor.charFormat();
}

// A button's caption as the user reads it, without the "&" that marks its mnemonic.
QString shownCaption(const QAbstractButton* button) {
    return QString(button->text()).remove(QLatin1Char('&'));
}

QColor colourAt(const TfMain& window, int offset) {
    return formatAt(window, offset).foreground().color();
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { isolateSettings(); }

    void controlsHaveTheirDesignState() {
        TfMain window;
        QCOMPARE(window.objectName(), QStringLiteral("fMain"));
        QCOMPARE(window.windowTitle(), QStringLiteral("HD DVD Kavrel " KAVREL_VERSION));
        QCOMPARE(window.minimumSize(), QSize(360, 414));

        struct Button {
            const char* name;
            const char* caption;
        };
        for (const Button& b : {Button{"bReadEVO", "Read EVO"}, Button{"bReadXPL", "Read XPL"},
                                Button{"bDemux", "Demux"}, Button{"bRebuild", "Rebuild"},
                                Button{"bCancel", "Cancel"}}) {
            auto* button = control<QPushButton>(window, b.name);
            QVERIFY2(button, b.name);
            QCOMPARE(shownCaption(button), QString::fromLatin1(b.caption));
            QVERIFY2(!button->isEnabled(), b.name);
        }
        QVERIFY(control<QPushButton>(window, "bReadEVO")->isDefault());
        QVERIFY(control<QPushButton>(window, "bDemux")->font().bold());
        QCOMPARE(control<QPushButton>(window, "bCancel")->toolTip(),
                 QStringLiteral("You can stop the actual process"));
        QCOMPARE(control<QToolButton>(window, "bbEVO")->toolTip(),
                 QStringLiteral("Browse an EVO file"));
        QCOMPARE(control<QToolButton>(window, "bbXPL")->toolTip(),
                 QStringLiteral("Browse the HD DVD disc's VPLST000.XPL"));
        QCOMPARE(control<QToolButton>(window, "bbWorkdir")->toolTip(),
                 QStringLiteral("Destination directory for the demuxed streams"));
        QVERIFY(!control<QToolButton>(window, "bbEVO")->icon().isNull());

        auto* input = control<QLineEdit>(window, "eEVOfile");
        QVERIFY(input->isReadOnly());
        QVERIFY(input->text().isEmpty());
        QCOMPARE(input->toolTip(), QStringLiteral("Drop here the source EVO file"));
        QCOMPARE(input->whatsThis(), QStringLiteral("You cannot write here directly"));
        QCOMPARE(control<QLineEdit>(window, "eXPLfile")->text(), QStringLiteral("VPLST000.XPL"));
        QVERIFY(control<QLineEdit>(window, "eXPLfile")->isReadOnly());

        auto* pages = control<QTabWidget>(window, "PageControl");
        const QStringList names{"tsStatus", "tsVideo",  "tsAudio", "tsSubpicture",
                                "tsXPL",    "tsOption", "tsTracks"};
        const QStringList captions{"Status", "Video",   "Audio", "Subpicture",
                                   "XPL",    "Options", "Tracks"};
        QCOMPARE(pages->count(), 7);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(pages->widget(i)->objectName(), names[i]);
            QCOMPARE(pages->tabText(i), captions[i]);
        }

        for (int i = 0; i < 8; ++i) {
            auto* box = window.findChild<QCheckBox*>(QStringLiteral("cbVideo%1").arg(i));
            QVERIFY(box && !box->isEnabled());
            QCOMPARE(box->text(), QStringLiteral("Video stream"));
        }
        for (int i = 0; i < 16; ++i) {
            const QString number = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
            auto* audio = window.findChild<QCheckBox*>(QStringLiteral("cbAudio") + number);
            auto* sub = window.findChild<QCheckBox*>(QStringLiteral("cbSub") + number);
            QVERIFY(audio && sub && !audio->isEnabled() && !sub->isEnabled());
            QCOMPARE(audio->text(), QStringLiteral("Audio stream"));
            QCOMPARE(sub->text(), QStringLiteral("Subpicture"));
        }

        struct Edit {
            const char* name;
            const char* text;
        };
        for (const Edit& e :
             {Edit{"eVideoExt", "mpv"}, Edit{"eAudioExt", "mpa"}, Edit{"eSubExt", "sup"}}) {
            auto* edit = control<QLineEdit>(window, e.name);
            QCOMPARE(edit->text(), QString::fromLatin1(e.text));
            QCOMPARE(edit->maxLength(), 5);
        }
        QCOMPARE(control<QLineEdit>(window, "eSubExt")->toolTip(),
                 QStringLiteral("This is real .sup format, don't change!"));
        QVERIFY(control<QLineEdit>(window, "eWorkdir")->text().isEmpty());

        QVERIFY(control<QRadioButton>(window, "rbNoAuto")->isChecked());
        QVERIFY(!control<QRadioButton>(window, "rbAutoDemux")->isChecked());
        QVERIFY(!control<QRadioButton>(window, "rbAutoRebuild")->isChecked());
        QCOMPARE(control<QRadioButton>(window, "rbNoAuto")->text(),
                 QStringLiteral("No auto process"));
        struct Option {
            const char* name;
            const char* caption;
        };
        for (const Option& o :
             {Option{"cbContinue", "Continue with second  EVO"},
              Option{"cbFastCheck", "Fast EVO checking"}, Option{"cbCountFr", "Count frames"},
              Option{"cbDetails", "Detailed info"}, Option{"cbAutoRead", "Auto read"}}) {
            auto* box = control<QCheckBox>(window, o.name);
            QVERIFY2(box && box->isChecked(), o.name);
            QCOMPARE(box->text(), QString::fromLatin1(o.caption));
        }
        QCOMPARE(control<QCheckBox>(window, "cbFastCheck")->toolTip(),
                 QStringLiteral("Read EVO checks only the first ~300 MB of the file"));
        QVERIFY(!control<QCheckBox>(window, "cbAutoClear")->isChecked());

        QVERIFY(control<QTextEdit>(window, "reMessage")->isReadOnly());
        QCOMPARE(shownCaption(control<QPushButton>(window, "bClear")), QStringLiteral("Clear"));
        QCOMPARE(control<QPlainTextEdit>(window, "mXPL")->font().family(),
                 QStringLiteral("Courier New"));
        QVERIFY(control<QTreeWidget>(window, "tvXPL"));
        QVERIFY(control<QSplitter>(window, "splXPL"));
        QVERIFY(control<app::LogoView>(window, "imLogo")->isValid());

        auto* bar = control<QStatusBar>(window, "StatusBar");
        QCOMPARE(control<QLabel>(window, "StatusPanel0")->text(), QStringLiteral(" Ready"));
        QCOMPARE(control<QLabel>(window, "StatusPanel1")->text(),
                 QStringLiteral(" Select or drop an EVO file to demux"));
        QCOMPARE(bar->toolTip(), QStringLiteral("Select or drop an EVO file to demux"));
        QVERIFY(control<QProgressBar>(window, "StatusProgress")->isHidden());
    }

    void activationResetsTheStreamBoxes() {
        TfMain window;
        activate(window);
        QCOMPARE(control<QCheckBox>(window, "cbVideo0")->text(), QStringLiteral("No video stream"));
        QCOMPARE(control<QCheckBox>(window, "cbVideo7")->text(), QStringLiteral("No video stream"));
        QCOMPARE(control<QCheckBox>(window, "cbAudio15")->text(),
                 QStringLiteral("No audio stream"));
        QCOMPARE(control<QCheckBox>(window, "cbSub00")->text(), QStringLiteral("No subpicture"));
    }

    void inputOnAnHdDvdLayoutFindsThePlaylist() {
        const fs::path disc = test::tempDir("layout");
        const fs::path feature = disc / "HVDVD_TS" / "FEATURE_1.EVO";
        touch(feature);
        fs::create_directories(disc / "ADV_OBJ");
        TfMain window;
        control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
        QString dialogFolder = QStringLiteral("unset");
        window.chooseInputFile = [&](const QString& folder) {
            dialogFolder = folder;
            return app::fromPath(feature);
        };
        control<QToolButton>(window, "bbEVO")->click();

        QCOMPARE(dialogFolder, QString());  // nothing remembered yet
        QCOMPARE(control<QLineEdit>(window, "eEVOfile")->text(), native(feature));
        QVERIFY(control<QPushButton>(window, "bReadEVO")->isEnabled());
        QCOMPARE(control<QLineEdit>(window, "eXPLfile")->text(),
                 native(disc / "ADV_OBJ" / "VPLST000.XPL"));
        QVERIFY(control<QPushButton>(window, "bReadXPL")->isEnabled());
        QCOMPARE(window.inputFolder(), native(disc / "HVDVD_TS") + QDir::separator());

        // The dialog opens where the last input was; a cancelled dialog changes nothing.
        window.chooseInputFile = [&](const QString& folder) {
            dialogFolder = folder;
            return QString();
        };
        control<QToolButton>(window, "bbEVO")->click();
        QCOMPARE(dialogFolder, native(disc / "HVDVD_TS") + QDir::separator());
        QCOMPARE(control<QLineEdit>(window, "eEVOfile")->text(), native(feature));

        // An input elsewhere leaves only the placeholder, which cannot be read.
        const fs::path elsewhere = test::tempDir("loose") / "MOVIE.EVO";
        touch(elsewhere);
        window.chooseInputFile = [&](const QString&) { return app::fromPath(elsewhere); };
        control<QToolButton>(window, "bbEVO")->click();
        QCOMPARE(control<QLineEdit>(window, "eXPLfile")->text(), QStringLiteral("VPLST000.XPL"));
        QVERIFY(!control<QPushButton>(window, "bReadXPL")->isEnabled());
    }

    void playlistOnAnHdDvdLayoutPointsTheInputDialog() {
        const fs::path disc = test::tempDir("layout");
        const fs::path playlist = disc / "ADV_OBJ" / "VPLST000.XPL";
        touch(playlist);
        TfMain window;
        control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
        QString preset;
        window.choosePlaylistFile = [&](const QString&, const QString& fileName) {
            preset = fileName;
            return app::fromPath(playlist);
        };
        control<QToolButton>(window, "bbXPL")->click();
        QCOMPARE(control<QLineEdit>(window, "eXPLfile")->text(), native(playlist));
        QVERIFY(control<QPushButton>(window, "bReadXPL")->isEnabled());
        QCOMPARE(window.playlistFolder(), native(disc / "ADV_OBJ") + QDir::separator());

        QString dialogFolder;
        window.chooseInputFile = [&](const QString& folder) {
            dialogFolder = folder;
            return QString();
        };
        control<QToolButton>(window, "bbEVO")->click();
        QCOMPARE(dialogFolder, native(disc / "HVDVD_TS") + QDir::separator());
    }

    void dropsTakeTheFirstFileOfAKnownKind() {
        const fs::path dir = test::tempDir("drops");
        const fs::path vob = dir / "VIDEO_TS" / "vts_01_1.vob";
        const fs::path evo = dir / "HVDVD_TS" / "FEATURE_1.EVO";
        const fs::path aob = dir / "AUDIO_TS" / "ATS_01_1.AOB";
        const fs::path xpl = dir / "ADV_OBJ" / "VPLST000.XPL";
        for (const fs::path& p : {vob, evo, aob, xpl}) touch(p);

        TfMain window;
        window.show();
        control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
        auto* input = control<QLineEdit>(window, "eEVOfile");

        dropFiles(window, {fileUrl(vob), fileUrl(evo)});
        QCOMPARE(input->text(), native(vob));  // lower-case extension, first file only
        QCOMPARE(control<QLineEdit>(window, "eXPLfile")->text(), QStringLiteral("VPLST000.XPL"));

        dropFiles(window, {fileUrl(aob), fileUrl(evo)});  // the first is not droppable
        QCOMPARE(input->text(), native(vob));

        dropFiles(window, {fileUrl(xpl)});
        QCOMPARE(input->text(), native(vob));
        QCOMPARE(control<QLineEdit>(window, "eXPLfile")->text(), native(xpl));
        QVERIFY(control<QPushButton>(window, "bReadXPL")->isEnabled());

        // A path longer than the old 260-character limit arrives whole.
        fs::path deep = dir;
        while (deep.string().size() < 300) deep /= "a_rather_long_folder_name_for_a_disc_backup";
        const fs::path long_input = deep / "HVDVD_TS" / "FEATURE_1.EVO";
        touch(long_input);
        dropFiles(window, {fileUrl(long_input)});
        QCOMPARE(input->text(), native(long_input));
        QCOMPARE(control<QLineEdit>(window, "eXPLfile")->text(),
                 native(deep / "ADV_OBJ" / "VPLST000.XPL"));
    }

    void streamBoxesDriveTheRunButtons() {
        const fs::path dir = test::tempDir("boxes");
        const fs::path vob = dir / "VTS_01_1.VOB";
        const fs::path evo = dir / "FEATURE_1.EVO";
        touch(vob);
        touch(evo);
        TfMain window;
        control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
        auto* demux = control<QPushButton>(window, "bDemux");
        auto* rebuild = control<QPushButton>(window, "bRebuild");
        auto* box = control<QCheckBox>(window, "cbAudio03");

        window.chooseInputFile = [&](const QString&) { return app::fromPath(vob); };
        control<QToolButton>(window, "bbEVO")->click();
        box->setEnabled(true);  // as a read run offers it
        box->click();
        QVERIFY(box->isChecked());
        QVERIFY(demux->isEnabled());
        QVERIFY(!rebuild->isEnabled());  // rebuild follows only for EVO inputs
        box->click();
        QVERIFY(!demux->isEnabled());

        window.chooseInputFile = [&](const QString&) { return app::fromPath(evo); };
        control<QToolButton>(window, "bbEVO")->click();
        // Choosing an input resets the boxes: a box still checked from the last input but no
        // longer offered selects nothing.
        box->setChecked(true);
        window.cbVideoClick();
        QVERIFY(!box->isEnabled());
        QVERIFY(!demux->isEnabled());
        box->setEnabled(true);
        window.cbVideoClick();
        QVERIFY(demux->isEnabled());
        QVERIFY(rebuild->isEnabled());
    }

    void logRendersTheMarkup() {
        TfMain window;
        window.log("[b]Dolby Digital[/b] audio stream ");
        QCOMPARE(logLines(window).last(), QStringLiteral("Dolby Digital audio stream "));
        QVERIFY(formatAt(window, 0).font().bold());
        QVERIFY(formatAt(window, 12).font().bold());
        QVERIFY(!formatAt(window, 14).font().bold());
        QCOMPARE(formatAt(window, 14).fontPointSize(), 8.0);

        window.log("   First PTS = [re]12345[/re] and [bl]x[/bl]");
        QCOMPARE(logLines(window).size(), 2);
        QCOMPARE(colourAt(window, 3), window.palette().color(QPalette::WindowText));
        QCOMPARE(colourAt(window, 15), QColor(255, 0, 0));
        QCOMPARE(colourAt(window, 25), QColor(0, 0, 255));

        window.log("[c:FF0000]blue[/c:FF0000][c:0000ff]red[/c:0000ff] [i]it[/i][u]un[/u]");
        QCOMPARE(colourAt(window, 0), QColor(0, 0, 255));  // 0xBBGGRR
        QCOMPARE(colourAt(window, 4), QColor(255, 0, 0));
        QVERIFY(formatAt(window, 8).font().italic());
        QVERIFY(!formatAt(window, 8).font().underline());
        QVERIFY(formatAt(window, 10).font().underline());

        window.log("[s1]ten[/s1][s2]twelve[/s2][zz]plain[/zz]");
        QCOMPARE(formatAt(window, 0).fontPointSize(), 10.0);
        QCOMPARE(formatAt(window, 3).fontPointSize(), 12.0);
        QCOMPARE(formatAt(window, 9).fontPointSize(), 8.0);
        QVERIFY(formatAt(window, 9).fontFamilies().toStringList().contains("Tahoma"));

        window.log("");
        window.log("a name [with] brackets and [unclosed");
        const QStringList lines = logLines(window);
        QCOMPARE(lines.size(), 6);
        QVERIFY(lines[4].isEmpty());

        // The caret follows the newest line.
        auto* pane = control<QTextEdit>(window, "reMessage");
        QVERIFY(pane->textCursor().atEnd());

        control<QPushButton>(window, "bClear")->click();
        QVERIFY(pane->toPlainText().isEmpty());
        window.log("first");
        QCOMPARE(logLines(window), QStringList{"first"});
    }

    void statusPanelsFitTheirText() {
        TfMain window;
        auto* panel = control<QLabel>(window, "StatusPanel1");
        auto* bar = control<QStatusBar>(window, "StatusBar");
        window.slog(QStringLiteral("FEATURE_1.EVO 4/12 Mbytes"), 1);
        QCOMPARE(panel->text(), QStringLiteral(" FEATURE_1.EVO 4/12 Mbytes"));
        QCOMPARE(bar->toolTip(), QStringLiteral("FEATURE_1.EVO 4/12 Mbytes"));
        const int wide = panel->width();
        window.slog(QString(), 1);
        QCOMPARE(panel->text(), QStringLiteral(" "));
        QVERIFY(bar->toolTip().isEmpty());
        QVERIFY(panel->width() < wide);
        window.slog(QStringLiteral("Opening"), 0);
        QCOMPARE(control<QLabel>(window, "StatusPanel0")->text(), QStringLiteral(" Opening"));
    }

    void logoKeepsItsPlace() {
        TfMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* logo = control<QWidget>(window, "imLogo");
        window.resize(400, 500);
        QCoreApplication::processEvents();
        QCOMPARE(logo->mapTo(&window, QPoint(0, 0)).x(), 153);
        window.resize(640, 500);
        QCoreApplication::processEvents();
        QCOMPARE(logo->mapTo(&window, QPoint(0, 0)).x(), 640 / 2 - 63);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
