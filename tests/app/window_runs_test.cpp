// The runs as the window drives them on the generated sample disc: read, demux, cancel, a
// failed demux, rebuild and the playlist.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "tests/app/window_helpers.h"

using namespace kavrel;
using namespace kavrel::apptest;
namespace fs = std::filesystem;
using test::filesIn;

namespace {

const mkdisc::Layout& disc() {
    return test::sampleDisc();
}

// The streams a read of FEATURE_1.EVO offers: those of its follow-on file, which it reads last.
std::map<QString, QString> expectedBoxes() {
    std::map<QString, QString> boxes;
    for (const auto& stream : disc().streams) {
        if (stream.file != "FEATURE_2.EVO") continue;
        const QString number = QString::number(stream.number);
        const QString name = stream.kind == "video" ? QStringLiteral("cbVideo") + number
                             : stream.kind == "audio"
                                 ? QStringLiteral("cbAudio%1").arg(stream.number, 2, 10, QChar('0'))
                                 : QStringLiteral("cbSub%1").arg(stream.number, 2, 10, QChar('0'));
        boxes[name] = QString::fromStdString(stream.caption);
    }
    return boxes;
}

// The names of the outputs of a demux of FEATURE_1.EVO with FEATURE_2.EVO. (Their bytes are
// checked by the engine's tests: the window checks that its boxes and buttons drive the runs.)
std::set<std::string> expectedOutputs() {
    std::set<std::string> names;
    for (const std::string& name : filesIn(disc().expectedDir))
        if (name.starts_with("FEATURE_1_FEATURE_2.")) names.insert(name);
    return names;
}

void readFeature(TfMain& window) {
    dropFiles(window, {fileUrl(disc().feature1)});
}

// Clicks Cancel at the first moment a run lets the window handle events.
void clickCancelDuringTheRun(TfMain& window) {
    auto* timer = new QTimer(&window);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, &window, [&window, timer] {
        if (!window.running()) return;
        timer->stop();
        timer->deleteLater();
        QVERIFY(control<QPushButton>(window, "bCancel")->isEnabled());
        control<QPushButton>(window, "bCancel")->click();
    });
    timer->start();
}

}  // namespace

class WindowRunsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        isolateSettings();
        QVERIFY(!disc().expectedDir.empty());
    }
    // A window closed by a test stores its settings; the next window starts from none.
    void init() { store().clear(); }

    void readOffersTheStreamsFound() {
        TfMain window;
        window.show();
        readFeature(window);
        const QStringList lines = logLines(window);
        QVERIFY(lines.contains("Opening file FEATURE_1.EVO"));
        QVERIFY(lines.contains("Continue on FEATURE_2.EVO"));
        QVERIFY(lines.contains("Done."));

        const auto expected = expectedBoxes();
        QVERIFY(expected.size() >= 3);
        const QRegularExpression streamBox(QStringLiteral("^cb(Video\\d|Audio\\d\\d|Sub\\d\\d)$"));
        for (QCheckBox* box : window.findChildren<QCheckBox*>()) {
            const QString name = box->objectName();
            if (!streamBox.match(name).hasMatch()) continue;
            const auto found = expected.find(name);
            if (found == expected.end()) {
                QVERIFY2(!box->isEnabled() && !box->isChecked(), qPrintable(name));
            } else {
                QVERIFY2(box->isEnabled() && box->isChecked(), qPrintable(name));
                QCOMPARE(box->text(), found->second);
            }
        }
        QCOMPARE(control<QCheckBox>(window, "cbVideo0")->text(), QStringLiteral("VC-1.stream.0"));

        QVERIFY(control<QPushButton>(window, "bReadEVO")->isEnabled());
        QVERIFY(control<QPushButton>(window, "bReadXPL")->isEnabled());
        QVERIFY(control<QPushButton>(window, "bDemux")->isEnabled());
        QVERIFY(control<QPushButton>(window, "bRebuild")->isEnabled());
        QVERIFY(!control<QPushButton>(window, "bCancel")->isEnabled());
        QVERIFY(control<QProgressBar>(window, "StatusProgress")->isHidden());
        QCOMPARE(control<QLabel>(window, "StatusPanel0")->text(), QStringLiteral(" Ready"));

        // Coming back to the window keeps what the read offered.
        activate(window);
        QVERIFY(control<QCheckBox>(window, "cbVideo0")->isEnabled());
        QVERIFY(control<QPushButton>(window, "bDemux")->isEnabled());
    }

    // The boxes of the new outputs: chapters, LPCM as WAV, subtitles as PGS.
    void demuxWritesTheOutputsAskedFor() {
        const fs::path out = test::tempDir("demux-asked");
        TfMain window;
        window.show();
        for (const char* box : {"cbWriteChapters", "cbLpcmAsWav", "cbSubsAsPgs"})
            control<QCheckBox>(window, box)->setChecked(true);
        control<QRadioButton>(window, "rbAutoDemux")->setChecked(true);
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        readFeature(window);

        const fs::path chapters = out / "FEATURE_1_FEATURE_2.chapters.xml";
        QVERIFY(fs::is_regular_file(chapters));
        QVERIFY(logLines(window).contains("8 chapters of title 2 (The Feature) written to " +
                                          app::fromPath(chapters)));
        const std::set<std::string> names = filesIn(out);
        QVERIFY(names.count("FEATURE_1_FEATURE_2.LPCM.stream.02.wav") == 1);
        QVERIFY(names.count("FEATURE_1_FEATURE_2.LPCM.stream.02.mpa") == 0);
        QVERIFY(names.count("FEATURE_1_FEATURE_2.DD+.stream.00.mpa") == 1);
        const auto pgs = test::readFile(out / "FEATURE_1_FEATURE_2.Ext.Subpicture.01.sup");
        QVERIFY(pgs.size() > 2 && pgs[0] == 'P' && pgs[1] == 'G');
        QCOMPARE(control<QLabel>(window, "StatusPanel0")->text(), QStringLiteral(" Ready"));
    }

    void demuxWritesEveryChosenStream() {
        const fs::path out = test::tempDir("demux");
        TfMain window;
        window.show();
        control<QRadioButton>(window, "rbAutoDemux")->setChecked(true);
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        readFeature(window);  // reads, then demuxes at once

        const auto expected = expectedOutputs();
        QVERIFY(expected.count("FEATURE_1_FEATURE_2.VC-1.stream.0.mpv") == 1);
        QCOMPARE(filesIn(out), expected);
        QVERIFY(logLines(window).contains(
            app::fromPath(out / "FEATURE_1_FEATURE_2.VC-1.stream.0.mpv").prepend("Creating ")));
        QVERIFY(control<QPushButton>(window, "bDemux")->isEnabled());
        QVERIFY(control<QPushButton>(window, "bRebuild")->isEnabled());

        // Only the chosen boxes get a file.
        const fs::path some = test::tempDir("demux-some");
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(some));
        for (QCheckBox* box : window.findChildren<QCheckBox*>()) {
            if (box->objectName().startsWith("cbAudio") && box->objectName() != "cbAudio00") {
                box->setChecked(false);
            }
        }
        control<QCheckBox>(window, "cbSub00")->setChecked(false);
        control<QCheckBox>(window, "cbSub01")->setChecked(false);
        control<QPushButton>(window, "bDemux")->click();
        const std::set<std::string> some_names = filesIn(some);
        QCOMPARE(some_names.size(), std::size_t{2});
        QVERIFY(some_names.count("FEATURE_1_FEATURE_2.VC-1.stream.0.mpv") == 1);
    }

    void demuxWithoutWorkFolderWritesBesideTheInput() {
        const fs::path dir = test::tempDir("beside") / "HVDVD_TS";
        fs::create_directories(dir);
        const fs::path input = dir / "MAIN_9.EVO";  // 9 has no follow-on
        fs::copy_file(disc().feature1, input);
        TfMain window;
        window.show();
        dropFiles(window, {fileUrl(input)});
        QVERIFY(control<QCheckBox>(window, "cbVideo0")->isChecked());
        for (QCheckBox* box : window.findChildren<QCheckBox*>()) {
            if (box->objectName() != "cbVideo0") box->setChecked(false);
        }
        control<QPushButton>(window, "bDemux")->click();
        QCOMPARE(filesIn(dir), (std::set<std::string>{"MAIN_9.EVO", "MAIN_9.VC-1.stream.0.mpv"}));
    }

    void cancelDuringAReadStopsAtOnce() {
        const fs::path out = test::tempDir("no-auto");
        TfMain window;
        window.show();
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        control<QRadioButton>(window, "rbAutoDemux")->setChecked(true);  // not after a cancel
        int asked = 0;
        window.confirmStop = [&] { return ++asked > 0; };
        clickCancelDuringTheRun(window);
        readFeature(window);
        QCOMPARE(asked, 0);
        const QStringList lines = logLines(window);
        QVERIFY(!lines.contains("Continue on FEATURE_2.EVO"));
        QVERIFY(!lines.contains("Done."));
        QCOMPARE(lines.count("Cancelled."), 1);
        QVERIFY(filesIn(out).empty());
        QVERIFY(control<QPushButton>(window, "bReadEVO")->isEnabled());
        QVERIFY(!control<QPushButton>(window, "bCancel")->isEnabled());
    }

    void cancelDuringADemuxAsksFirst() {
        const auto expected = expectedOutputs();
        for (const bool answer : {false, true}) {
            const fs::path out = test::tempDir("cancel");
            TfMain window;
            window.show();
            control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
            readFeature(window);
            control<QPushButton>(window, "bClear")->click();

            int asked = 0;
            window.confirmStop = [&] {
                ++asked;
                return answer;
            };
            clickCancelDuringTheRun(window);
            control<QPushButton>(window, "bDemux")->click();

            QCOMPARE(asked, 1);
            const QStringList lines = logLines(window);
            QCOMPARE(lines.contains("Cancelled."), answer);
            QCOMPARE(lines.contains("Continue on FEATURE_2.EVO"), !answer);
            QCOMPARE(filesIn(out), expected);  // what a cancel keeps: runs_test
            QVERIFY(control<QPushButton>(window, "bDemux")->isEnabled());
        }
    }

    // Make MKV writes <output folder>/<base name>.mkv and nothing else; a confirmed Cancel
    // leaves nothing at all.
    void makeMkvWritesOneMatroskaFile() {
        if (!test::haveTool("mkvmerge")) QSKIP("mkvmerge is not installed");
        for (const bool cancel : {false, true}) {
            const fs::path out = test::tempDir("mkv");
            TfMain window;
            window.show();
            control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
            readFeature(window);
            auto* make = control<QPushButton>(window, "bMakeMkv");
            QVERIFY(make->isVisible() && make->isEnabled());
            window.confirmStop = [] { return true; };
            if (cancel) clickCancelDuringTheRun(window);
            make->click();

            const std::set<std::string> expected{"FEATURE_1_FEATURE_2.mkv"};
            QCOMPARE(filesIn(out), cancel ? std::set<std::string>{} : expected);
            QCOMPARE(logLines(window).contains("Cancelled."), cancel);
            QVERIFY(make->isEnabled());
            QVERIFY(!window.running());
        }
    }

    void makeMkvIsOfferedOnlyWithMkvmerge() {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        TfMain window;
        qputenv("PATH", path);
        window.show();
        QVERIFY(control<QPushButton>(window, "bMakeMkv")->isHidden());
    }

    void failedDemuxLeavesTheWindowUsable() {
        const fs::path dir = test::tempDir("blocked");
        test::writeFile(dir / "plain-file", {1, 2, 3});
        TfMain window;
        window.show();
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(dir / "plain-file" / "out"));
        readFeature(window);
        control<QPushButton>(window, "bClear")->click();
        control<QPushButton>(window, "bDemux")->click();

        const QStringList lines = logLines(window);
        QVERIFY(!lines.contains("Done."));
        QVERIFY(!lines.filter("Error").isEmpty());
        for (const char* name : {"bReadEVO", "bReadXPL", "bDemux", "bRebuild"}) {
            QVERIFY2(control<QPushButton>(window, name)->isEnabled(), name);
        }
        QVERIFY(!control<QPushButton>(window, "bCancel")->isEnabled());
        QVERIFY(control<QProgressBar>(window, "StatusProgress")->isHidden());
        QCOMPARE(control<QLabel>(window, "StatusPanel0")->text(), QStringLiteral(" Ready"));
        QVERIFY(!window.running());
    }

    void rebuildWritesTheFilteredStream() {
        const fs::path out = test::tempDir("rebuild");
        TfMain window;
        window.show();
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        readFeature(window);
        control<QCheckBox>(window, "cbAudio01")->setChecked(false);
        control<QPushButton>(window, "bRebuild")->click();
        const fs::path rebuilt = out / "FEATURE_1_FEATURE_2.rebuilt.EVO";
        QVERIFY(fs::exists(rebuilt));
        QVERIFY(fs::file_size(rebuilt) > 0);
        QVERIFY(fs::file_size(rebuilt) < fs::file_size(disc().feature1) * 2);
        QVERIFY(logLines(window).contains("Done."));
        QVERIFY(control<QPushButton>(window, "bRebuild")->isEnabled());
    }

    void playlistCaptionsStayInsideTheOutputFolder() {
        const fs::path root = test::tempDir("hostile");
        const fs::path input = root / "HVDVD_TS" / "MAIN_9.EVO";
        fs::create_directories(input.parent_path());
        fs::copy_file(disc().feature1, input);
        const std::string playlist =
            "<Playlist displayName=\"x\">\n<MediaAttributeList>\n"
            "<AudioAttributeItem index=\"1\" codec=\"DD+\" channels=\"6\"/>\n"
            "</MediaAttributeList>\n<TitleSet>\n<Title id=\"a\" displayName=\"A\">\n"
            "<PrimaryAudioVideoClip src=\"file:///dvddisc/HVDVD_TS/MAIN_9.MAP\">\n"
            "<Audio track=\"1\" streamNumber=\"1\" mediaAttr=\"1\" description=\"/../../x\"/>\n"
            "</PrimaryAudioVideoClip>\n</Title>\n</TitleSet>\n</Playlist>\n";
        fs::create_directories(root / "ADV_OBJ");
        test::writeFile(root / "ADV_OBJ" / "VPLST000.XPL",
                        std::vector<uint8_t>(playlist.begin(), playlist.end()));

        const fs::path out = test::tempDir("hostile-out") / "out";
        fs::create_directories(out);
        TfMain window;
        window.show();
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        dropFiles(window, {fileUrl(input)});
        control<QPushButton>(window, "bReadXPL")->click();
        auto* box = control<QCheckBox>(window, "cbAudio00");
        QCOMPARE(box->text(), QStringLiteral("DD+.6ch.stream.00./../../x"));
        QVERIFY(control<QPushButton>(window, "bDemux")->isEnabled());
        control<QPushButton>(window, "bDemux")->click();

        QCOMPARE(filesIn(out), std::set<std::string>{"MAIN_9.DD+.6ch.stream.00._.._.._x.mpa"});
        QCOMPARE(filesIn(out.parent_path()), std::set<std::string>{"out"});
    }

    void closingDuringARunStopsIt() {
        for (const bool answer : {false, true}) {
            const fs::path out = test::tempDir("close");
            TfMain window;
            window.show();
            control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
            readFeature(window);
            control<QPushButton>(window, "bClear")->click();
            window.confirmStop = [answer] { return answer; };
            auto* timer = new QTimer(&window);
            timer->setInterval(0);
            QObject::connect(timer, &QTimer::timeout, &window, [&window, timer] {
                if (!window.running()) return;
                timer->stop();
                window.close();
            });
            timer->start();
            control<QPushButton>(window, "bDemux")->click();
            QCOMPARE(window.isVisible(), !answer);
            QCOMPARE(logLines(window).contains("Continue on FEATURE_2.EVO"), !answer);
            QVERIFY(!window.running());
        }
    }

    void writingRunsReadTheCurrentInputFirst() {
        const fs::path out = test::tempDir("read-first");
        TfMain window;
        window.show();
        control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        readFeature(window);  // chosen, not read
        control<QPushButton>(window, "bReadXPL")->click();
        control<QCheckBox>(window, "cbAudio01")->click();  // left out of the playlist's offer
        control<QPushButton>(window, "bDemux")->click();
        QCOMPARE(logLines(window).count("Opening file FEATURE_1.EVO"), 2);  // read, then demux
        QVERIFY(fs::exists(out / "FEATURE_1_FEATURE_2.DD+.6ch.stream.00.en.mpa"));
        for (const std::string& name : filesIn(out))
            QVERIFY(!name.ends_with(".mpa") || name.find(".stream.01.") == name.npos);

        // Another input: the rebuild reads it before it filters.
        window.chooseInputFile = [](const QString&) { return app::fromPath(disc().vob); };
        control<QToolButton>(window, "bbEVO")->click();
        control<QPushButton>(window, "bClear")->click();
        control<QPushButton>(window, "bRebuild")->click();
        QCOMPARE(logLines(window).count("Opening file VTS_01_1.VOB"), 2);
        QVERIFY(fs::exists(out / "VTS_01_1.rebuilt.EVO"));
    }

    void readPlaylistKeepsTheOfferWithoutATitle() {
        TfMain window;
        window.show();
        readFeature(window);
        auto* video = control<QCheckBox>(window, "cbVideo0");
        const QString caption = video->text();
        const fs::path dir = test::tempDir("no-title");
        std::ofstream(dir / "OTHER.XPL") << "<a>\n<Title id=\"x\">\n<Video track=\"1\"/>\n</Title>";
        for (const fs::path& playlist : {dir / "MISSING.XPL", dir / "OTHER.XPL"}) {
            control<QLineEdit>(window, "eXPLfile")->setText(app::fromPath(playlist));
            control<QPushButton>(window, "bReadXPL")->click();
            QVERIFY(video->isEnabled() && video->isChecked() && video->text() == caption);
            QCOMPARE(control<QTabWidget>(window, "PageControl")->currentWidget()->objectName(),
                     QStringLiteral("tsStatus"));  // where the error or the note is
        }
        QVERIFY(logLines(window).contains("No title of the playlist plays FEATURE_1."));
    }

    void readPlaylistShowsTheTitleOfTheInput() {
        TfMain window;
        window.show();
        control<QCheckBox>(window, "cbContinue")->setChecked(true);
        readFeature(window);
        const StreamLists before = window.runState().lists;
        QVERIFY(before.video[0] >= 0);

        QCOMPARE(app::toPath(control<QLineEdit>(window, "eXPLfile")->text()), disc().playlist);
        control<QPushButton>(window, "bReadXPL")->click();

        auto* pages = control<QTabWidget>(window, "PageControl");
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("tsXPL"));
        auto* tree = control<QTreeWidget>(window, "tvXPL");
        QStringList top;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) top << tree->topLevelItem(i)->text(0);
        QCOMPARE(top, (QStringList{"Info", "Video", "Audio", "Subtitle", "Chapter"}));
        QCOMPARE(tree->topLevelItem(2)->childCount(), 5);  // each track listed once
        QCOMPARE(tree->topLevelItem(4)->childCount(), 8);
        QVERIFY(tree->topLevelItem(0)->isExpanded());

        auto* memo = control<QPlainTextEdit>(window, "mXPL");
        QVERIFY(memo->isVisibleTo(&window));
        QVERIFY(memo->toPlainText().contains("FEATURE_1.MAP"));
        QVERIFY(!memo->toPlainText().contains("BONUS.MAP"));  // cut to the feature's title

        auto* audio = control<QCheckBox>(window, "cbAudio00");
        QVERIFY(audio->isEnabled() && audio->isChecked());
        QCOMPARE(audio->text(), QStringLiteral("DD+.6ch.stream.00.en"));
        QVERIFY(!control<QCheckBox>(window, "cbAudio05")->isEnabled());
        QVERIFY(logLines(window).contains("DD+.6ch.stream.00.en found!"));

        // The rebuild filter still sees the streams the read found.
        const StreamLists after = window.runState().lists;
        QVERIFY(after.video == before.video);
        QVERIFY(after.audio == before.audio);
        QVERIFY(after.sub == before.sub);
        QVERIFY(control<QPushButton>(window, "bReadEVO")->isEnabled());
        QVERIFY(control<QPushButton>(window, "bReadXPL")->isEnabled());
    }
};

QTEST_MAIN(WindowRunsTest)
#include "window_runs_test.moc"
