// What the window does with lists of another input, a playlist without a title, a stopped
// read, inputs that are not program-stream files, names that look like markup and a hostile
// playlist: the wiring only (buttons, pages, what is written); the core tests hold the rest.
#include <sys/resource.h>
#include <sys/stat.h>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <fstream>

#include "app/playlist_view.h"
#include "engine/runs.h"
#include "tests/app/window_helpers.h"

using namespace kavrel;
using namespace kavrel::apptest;
namespace fs = std::filesystem;

namespace {

const mkdisc::Layout& disc() {
    return test::sampleDisc();
}

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::size_t filesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

QString currentPage(const TfMain& window) {
    return control<QTabWidget>(window, "PageControl")->currentWidget()->objectName();
}

void clickCancelDuringTheRun(TfMain& window) {
    auto* timer = new QTimer(&window);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, &window, [&window, timer] {
        if (!window.running()) return;
        timer->stop();
        timer->deleteLater();
        control<QPushButton>(window, "bCancel")->click();
    });
    timer->start();
}

}  // namespace

class WindowInputsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { isolateSettings(); }
    void init() { store().clear(); }

    // First, while the process is still small: its peak memory is what is measured.
    void aHostilePlaylistIsShownWithinBoundedMemory() {
        const fs::path path = test::tempDir("hostile-xpl") / "VPLST000.XPL";
        std::string tags;
        for (int i = 0; i < 4 * 1024 * 1024 / 3; ++i) tags += "<a>";
        writeText(path, tags);
        tags = std::string();

        TfMain window;
        window.show();
        window.choosePlaylistFile = [&](const QString&, const QString&) {
            return app::fromPath(path);
        };
        const long before = peakRssKiB();
        control<QToolButton>(window, "bbXPL")->click();  // read at once: "Auto read" is on
        const long grown = peakRssKiB() - before;
        qInfo("peak memory grew by %ld KiB to %ld KiB", grown, peakRssKiB());
        QVERIFY2(grown < 64 * 1024, qPrintable(QString::number(grown) + " KiB"));

        const QStringList memo = control<QPlainTextEdit>(window, "mXPL")
                                     ->toPlainText()
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(std::size_t(memo.size()), app::kMemoLinesShown + 1);
        QVERIFY(memo.back().endsWith(QStringLiteral(" more lines not shown")));
    }

    void writingRunsReadTheCurrentInputFirst() {
        const fs::path out = test::tempDir("read-first");
        TfMain window;
        window.show();
        control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));

        // The playlist alone offers its tracks; the user leaves one out.
        dropFiles(window, {fileUrl(disc().feature1)});
        control<QPushButton>(window, "bReadXPL")->click();
        control<QCheckBox>(window, "cbAudio01")->click();
        QVERIFY(control<QPushButton>(window, "bDemux")->isEnabled());
        control<QPushButton>(window, "bDemux")->click();

        QStringList lines = logLines(window);
        QCOMPARE(lines.count("Opening file FEATURE_1.EVO"), 2);  // the read, then the demux
        QCOMPARE(lines.count("Done."), 3);                       // playlist, read, demux
        QVERIFY(fs::exists(out / "FEATURE_1_FEATURE_2.DD+.6ch.stream.00.en.mpa"));
        QVERIFY(!fs::exists(out / "FEATURE_1_FEATURE_2.DTS-HD.6ch.stream.01.en.mpa"));
        QVERIFY(!control<QCheckBox>(window, "cbAudio01")->isChecked());

        // Lists read from this input are used as they are.
        control<QPushButton>(window, "bClear")->click();
        control<QPushButton>(window, "bDemux")->click();
        QCOMPARE(logLines(window).count("Opening file FEATURE_1.EVO"), 1);

        // Another input: the rebuild reads it before it filters.
        window.chooseInputFile = [](const QString&) { return app::fromPath(disc().vob); };
        control<QToolButton>(window, "bbEVO")->click();
        control<QPushButton>(window, "bClear")->click();
        QVERIFY(control<QPushButton>(window, "bRebuild")->isEnabled());
        control<QPushButton>(window, "bRebuild")->click();
        lines = logLines(window);
        QCOMPARE(lines.count("Opening file VTS_01_1.VOB"), 2);
        QVERIFY(!lines.contains("Cancelled."));
        RunState vob;
        test::RecordingHost host;
        QCOMPARE(readRun(disc().vob, vob, RunOptions{}, host), RunOutcome::Done);
        QVERIFY(window.runState().lists.audio == vob.lists.audio);
        QVERIFY(window.runState().lists.video == vob.lists.video);
        QVERIFY(fs::exists(out / "VTS_01_1.rebuilt.EVO"));
    }

    void readPlaylistKeepsTheOfferWithoutATitle() {
        TfMain window;
        window.show();
        dropFiles(window, {fileUrl(disc().feature1)});
        auto* video = control<QCheckBox>(window, "cbVideo0");
        const QString caption = video->text();
        QVERIFY(video->isEnabled());

        const fs::path dir = test::tempDir("no-title");
        writeText(dir / "OTHER.XPL",
                  "<Playlist>\n<TitleSet>\n<Title id=\"x\">\n<PrimaryAudioVideoClip "
                  "src=\"file:///dvddisc/HVDVD_TS/BONUS.MAP\">\n<Video track=\"1\"/>\n"
                  "</PrimaryAudioVideoClip>\n</Title>\n</TitleSet>\n</Playlist>\n");
        for (const fs::path& playlist : {dir / "MISSING.XPL", dir / "OTHER.XPL"}) {
            control<QPushButton>(window, "bClear")->click();
            control<QLineEdit>(window, "eXPLfile")->setText(app::fromPath(playlist));
            control<QPushButton>(window, "bReadXPL")->click();
            QVERIFY(video->isEnabled() && video->isChecked());
            QCOMPARE(video->text(), caption);
            QVERIFY(control<QPushButton>(window, "bDemux")->isEnabled());
            QCOMPARE(currentPage(window), QStringLiteral("tsStatus"));
        }
        QVERIFY(logLines(window).contains("No title of the playlist plays FEATURE_1."));
    }

    void aStoppedReadDoesNotRunOn() {
        const fs::path out = test::tempDir("no-auto");
        TfMain window;
        window.show();
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        control<QRadioButton>(window, "rbAutoDemux")->setChecked(true);
        clickCancelDuringTheRun(window);
        dropFiles(window, {fileUrl(disc().feature1)});
        const QStringList lines = logLines(window);
        QCOMPARE(lines.count("Cancelled."), 1);
        QVERIFY(!lines.contains("Done."));
        QCOMPARE(filesIn(out), std::size_t(0));
        QVERIFY(!window.running());
    }

    void inputsThatAreNotProgramStreamFilesFailAtOnce() {
        const fs::path dir = test::tempDir("special");
        QCOMPARE(mkfifo((dir / "PIPE_1.EVO").c_str(), 0600), 0);  // no writer: would block
        writeText(dir / "TEXT_1.EVO", "just some text\n");
        TfMain window;
        window.show();
        dropFiles(window, {fileUrl(dir / "PIPE_1.EVO")});
        QVERIFY(logLines(window).contains("Error: " + app::fromPath(dir / "PIPE_1.EVO") +
                                          " is not a regular file"));
        dropFiles(window, {fileUrl(dir / "TEXT_1.EVO")});
        QVERIFY(logLines(window).contains("Error: TEXT_1.EVO is not an MPEG program stream"));
        QVERIFY(!control<QPushButton>(window, "bDemux")->isEnabled());
        QVERIFY(control<QPushButton>(window, "bReadEVO")->isEnabled());
    }

    void namesShowLiterallyInTheLog() {
        // A folder "[re]x[" holding "re]": the path reads "…/[re]x[/re]/…".
        const fs::path dir = test::tempDir("names") / "[re]x[/re]";
        fs::create_directories(dir);
        fs::copy_file(disc().vob, dir / "[i]A.VOB");
        TfMain window;
        window.show();
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(dir));
        dropFiles(window, {fileUrl(dir / "[i]A.VOB")});
        QVERIFY(logLines(window).contains("Opening file [i]A.VOB"));
        control<QPushButton>(window, "bDemux")->click();
        const QString creating = "Creating " + app::fromPath(dir / "[i]A.");
        const QStringList lines = logLines(window);
        QVERIFY(std::any_of(lines.begin(), lines.end(),
                            [&](const QString& line) { return line.startsWith(creating); }));
    }
};

QTEST_MAIN(WindowInputsTest)
#include "window_inputs_test.moc"
