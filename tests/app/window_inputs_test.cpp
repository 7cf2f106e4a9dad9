// Inputs in the window: a playlist of a million tags is shown within bounded memory, an input
// that is not a regular file fails at once and leaves the window usable, a DVD-Audio disc
// lists its tracks for Extract tracks, and a DVD-Video disc its titles for the runs.
#include <sys/resource.h>
#include <sys/stat.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <fstream>

#include "app/playlist_view.h"
#include "tests/app/window_helpers.h"

using namespace kavrel;
using namespace kavrel::apptest;
namespace fs = std::filesystem;

namespace {

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

class WindowInputsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { isolateSettings(); }

    // First, while the process is still small: its peak memory is what is measured.
    void aHostilePlaylistIsShownWithinBoundedMemory() {
        const fs::path path = test::tempDir("hostile-xpl") / "VPLST000.XPL";
        {
            std::ofstream file(path, std::ios::binary);
            for (int i = 0; i < 4 * 1024 * 1024 / 3; ++i) file << "<a>";
        }
        TfMain window;
        window.show();
        window.choosePlaylistFile = [&](const QString&, const QString&) {
            return app::fromPath(path);
        };
        const long before = peakRssKiB();
        control<QToolButton>(window, "bbXPL")->click();  // read at once: "Auto read" is on
        const long grown = peakRssKiB() - before;
        if (test::kPeakMemoryIsMeasurable)
            QVERIFY2(grown < 64 * 1024, qPrintable(QString::number(grown) + " KiB"));
        const QStringList memo = control<QPlainTextEdit>(window, "mXPL")
                                     ->toPlainText()
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(std::size_t(memo.size()), app::kMemoLinesShown + 1);
        QVERIFY(memo.back().endsWith(QStringLiteral(" more lines not shown")));
    }

    void aFifoAsInputFailsAtOnce() {
        const fs::path fifo = test::tempDir("special") / "PIPE_1.EVO";
        QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);  // no writer: a plain open would wait
        TfMain window;
        window.show();
        dropFiles(window, {fileUrl(fifo)});
        QVERIFY(
            logLines(window).contains("Error: " + app::fromPath(fifo) + " is not a regular file"));
        QVERIFY(!window.running());
        QVERIFY(control<QPushButton>(window, "bReadEVO")->isEnabled());
    }

    void aDvdAudioDiscGivesItsCheckedTracksInTheChosenFormat() {
        const fs::path disc =
            fs::path(KAVREL_SOURCE_DIR) / ".." / "shared" / "discs" / "dvd-audio" / "D";
        if (!fs::exists(disc)) QSKIP("no DVD-Audio test discs");
        const fs::path out = test::tempDir("window-tracks");
        TfMain window;
        window.show();
        window.openArguments({app::fromPath(disc)});
        auto* tracks = control<QTreeWidget>(window, "tvTracks");
        QCOMPARE(tracks->topLevelItemCount(), 3);
        tracks->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        control<QLineEdit>(window, "eWorkdir")->setText(app::fromPath(out));
        control<QCheckBox>(window, "cbTracksAsFlac")->setChecked(true);
        control<QPushButton>(window, "bExtractTracks")->click();
        QCOMPARE(test::filesIn(out),
                 (std::set<std::string>{"Title01-Track01.flac", "Title01-Track03.flac"}));
        QVERIFY(logLines(window).contains("Done."));
        QVERIFY(control<QPushButton>(window, "bExtractTracks")->isEnabled());
        window.RegWrite();
        QCOMPARE(store().value(QStringLiteral("TracksAsFlac")).toBool(), true);

        // No track table readable: the whole disc is still extracted, its audio objects whole.
        const fs::path damaged = test::tempDir("window-tracks-damaged") / "D";
        fs::copy(disc, damaged, fs::copy_options::recursive);
        fs::resize_file(damaged / "AUDIO_TS" / "ATS_01_0.IFO", 100);
        fs::remove_all(out);
        window.openArguments({app::fromPath(damaged)});
        QCOMPARE(tracks->topLevelItemCount(), 0);
        control<QPushButton>(window, "bExtractTracks")->click();
        QCOMPARE(logLines(window).filter("the AOB files are written whole").size(), 1);
        QVERIFY(!test::filesIn(out).empty());
    }

    void aDvdVideoDiscOffersItsTitlesAndReadsTheChosenOne() {
        const test::DvdDiscs& discs = test::dvdDiscs();
        QVERIFY2(!discs.folder.empty(), "make_dvd.sh failed");
        const fs::path damaged = test::tempDir("window-damaged-dvd");
        fs::copy(discs.folder, damaged, fs::copy_options::recursive);
        TfMain window;
        window.show();
        control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
        auto* titles = control<QComboBox>(window, "cbTitle");
        auto* secondAudio = control<QCheckBox>(window, "cbAudio01");
        dropFiles(window, {fileUrl(discs.folder)});
        QCOMPARE(control<QLineEdit>(window, "eEVOfile")->text(), app::fromPath(discs.folder));
        QCOMPARE(titles->count(), 2);
        QVERIFY(titles->currentText().endsWith(QStringLiteral("main feature")));
        titles->setCurrentIndex(1 - titles->currentIndex());
        control<QPushButton>(window, "bReadEVO")->click();
        QVERIFY(control<QCheckBox>(window, "cbAudio00")->isEnabled());
        QVERIFY(!secondAudio->isEnabled());  // title 2 has one audio stream, title 1 two
        QVERIFY(control<QPushButton>(window, "bRebuild")->isEnabled());
        dropFiles(window, {fileUrl(discs.iso)});
        QCOMPARE(titles->currentData().toInt(), 1);
        control<QPushButton>(window, "bReadEVO")->click();
        QVERIFY(secondAudio->isEnabled());
        QCOMPARE(secondAudio->toolTip(), QStringLiteral("Language: de"));
        dropFiles(window, {fileUrl(damaged)});
        // Damaged once chosen: the title sets' VOB files are read as they are.
        fs::resize_file(damaged / "VIDEO_TS" / "VIDEO_TS.IFO", 100);
        control<QPushButton>(window, "bReadEVO")->click();
        QCOMPARE(logLines(window).filter("the VOB files are read as they are").size(), 1);
        QVERIFY(secondAudio->isEnabled());
        for (const char* vob : {"VTS_01_1.VOB", "VTS_02_1.VOB"})
            fs::remove(damaged / "VIDEO_TS" / vob);
        control<QPushButton>(window, "bReadEVO")->click();
        dropFiles(window, {fileUrl(damaged)});  // nothing readable left, at a run and when chosen
        QCOMPARE(logLines(window).filter("Error: Cannot open " + app::fromPath(damaged)).size(), 2);
        QVERIFY(control<QPushButton>(window, "bReadEVO")->isEnabled());
        // A title of two angles offers them; the second is read.
        auto* angles = control<QComboBox>(window, "cbAngle");
        QVERIFY(angles->isHidden());
        dropFiles(window, {fileUrl(discs.angles)});
        QCOMPARE(angles->count(), 2);
        QVERIFY(!angles->isHidden());
        angles->setCurrentIndex(1);
        const qsizetype done = logLines(window).filter("Done.").size();
        control<QPushButton>(window, "bReadEVO")->click();
        QCOMPARE(logLines(window).filter("Done.").size(), done + 1);
        dropFiles(window, {fileUrl(discs.smallVob)});
        QVERIFY(titles->isHidden());
        QVERIFY(angles->isHidden());
        window.chooseInputFile = [&](const QString&) {
            return app::fromPath(discs.folder / "VIDEO_TS" / "VIDEO_TS.IFO");
        };
        control<QToolButton>(window, "bbEVO")->click();
        QCOMPARE(titles->count(), 2);
    }
};

QTEST_MAIN(WindowInputsTest)
#include "window_inputs_test.moc"
