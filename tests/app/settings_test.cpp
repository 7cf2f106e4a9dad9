// The settings store: defaults on a first start, a partial store, the round trip of every
// value, a maximised window, and activations that must not undo the user's edits.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <map>

#include "tests/app/window_helpers.h"

using namespace kavrel;
using namespace kavrel::apptest;
namespace fs = std::filesystem;

namespace {

const QStringList kAllValues{
    "WindowState", "Top",           "Left",      "Width",        "Height",
    "TreeWidth",   "AudioExt",      "VideoExt",  "SubExt",       "Workdir",
    "EVOdir",      "XPLdir",        "Continue",  "FastCheck",    "CountFrames",
    "Details",     "AutoRead",      "AutoDemux", "AutoRebuild",  "AutoClear",
    "LpcmAsWav",   "WriteChapters", "SubsAsPgs", "SubsAsVobsub", "TracksAsFlac"};

void clearStore() {
    QSettings settings = store();
    settings.clear();
    settings.sync();
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { isolateSettings(); }
    void init() { clearStore(); }

    void firstStartKeepsTheDefaultsAndStoresEveryValue() {
        {
            TfMain window;
            window.show();
            activate(window);
            QCOMPARE(control<QLineEdit>(window, "eVideoExt")->text(), QStringLiteral("mpv"));
            QVERIFY(control<QRadioButton>(window, "rbNoAuto")->isChecked());
            QVERIFY(control<QCheckBox>(window, "cbContinue")->isChecked());
            QVERIFY(!control<QCheckBox>(window, "cbAutoClear")->isChecked());
            QVERIFY(!control<QCheckBox>(window, "cbLpcmAsWav")->isChecked());
            QVERIFY(!control<QCheckBox>(window, "cbWriteChapters")->isChecked());
            QVERIFY(!control<QCheckBox>(window, "cbSubsAsPgs")->isChecked());
            QVERIFY(!control<QCheckBox>(window, "cbTracksAsFlac")->isChecked());
            QVERIFY(store().allKeys().isEmpty());  // reading does not create the key
            window.close();
        }
        QSettings settings = store();
        QStringList keys = settings.allKeys();
        keys.sort();
        QStringList all = kAllValues;
        all.sort();
        QCOMPARE(keys, all);
        QCOMPARE(settings.value("WindowState").toInt(), 0);
        QCOMPARE(settings.value("Continue").toInt(), 1);  // booleans as 0 and 1
        QCOMPARE(settings.value("AutoDemux").toInt(), 0);
        QCOMPARE(settings.value("LpcmAsWav").toInt(), 0);
        QCOMPARE(settings.value("WriteChapters").toInt(), 0);
        QCOMPARE(settings.value("SubsAsPgs").toInt(), 0);
        QCOMPARE(settings.value("TreeWidth").toInt(), 96);
        QCOMPARE(settings.value("SubExt").toString(), QStringLiteral("sup"));
    }

    void aPartialStoreChangesOnlyItsControls() {
        {
            QSettings settings = store();
            settings.setValue("VideoExt", "m2v");
            settings.setValue("AutoRebuild", 1);
            settings.setValue("Continue", 0);
            settings.setValue("Width", "not a number");  // ignored
        }
        TfMain window;
        const QSize designSize = window.size();
        window.show();
        activate(window);
        QCOMPARE(control<QLineEdit>(window, "eVideoExt")->text(), QStringLiteral("m2v"));
        QCOMPARE(control<QLineEdit>(window, "eAudioExt")->text(), QStringLiteral("mpa"));
        QVERIFY(control<QRadioButton>(window, "rbAutoRebuild")->isChecked());
        QVERIFY(!control<QRadioButton>(window, "rbNoAuto")->isChecked());
        QVERIFY(!control<QCheckBox>(window, "cbContinue")->isChecked());
        QVERIFY(control<QCheckBox>(window, "cbFastCheck")->isChecked());
        QVERIFY(control<QCheckBox>(window, "cbAutoRead")->isChecked());
        QCOMPARE(window.size(), designSize);
    }

    void everyValueSurvivesARestart() {
        const fs::path disc = test::tempDir("remembered");
        const fs::path feature = disc / "HVDVD_TS" / "FEATURE_1.EVO";
        fs::create_directories(feature.parent_path());
        std::ofstream(feature) << "";
        QRect geometry;
        {
            TfMain window;
            window.show();
            activate(window);
            window.setGeometry(40, 50, 420, 480);
            geometry = window.frameGeometry();
            control<QLineEdit>(window, "eAudioExt")->setText("ac3");
            control<QLineEdit>(window, "eWorkdir")->setText("/srv/out");
            control<QRadioButton>(window, "rbAutoDemux")->setChecked(true);
            control<QCheckBox>(window, "cbDetails")->setChecked(false);
            control<QCheckBox>(window, "cbAutoClear")->setChecked(true);
            control<QCheckBox>(window, "cbAutoRead")->setChecked(false);
            control<QCheckBox>(window, "cbLpcmAsWav")->setChecked(true);
            control<QCheckBox>(window, "cbWriteChapters")->setChecked(true);
            control<QCheckBox>(window, "cbSubsAsPgs")->setChecked(true);
            window.chooseInputFile = [&](const QString&) { return app::fromPath(feature); };
            control<QToolButton>(window, "bbEVO")->click();
            window.close();
        }
        TfMain window;
        window.show();
        activate(window);
        QCOMPARE(window.frameGeometry(), geometry);
        QCOMPARE(control<QLineEdit>(window, "eAudioExt")->text(), QStringLiteral("ac3"));
        QCOMPARE(control<QLineEdit>(window, "eWorkdir")->text(), QStringLiteral("/srv/out"));
        QVERIFY(control<QRadioButton>(window, "rbAutoDemux")->isChecked());
        QVERIFY(!control<QCheckBox>(window, "cbDetails")->isChecked());
        QVERIFY(control<QCheckBox>(window, "cbAutoClear")->isChecked());
        QVERIFY(!control<QCheckBox>(window, "cbAutoRead")->isChecked());
        QVERIFY(control<QCheckBox>(window, "cbLpcmAsWav")->isChecked());
        QVERIFY(control<QCheckBox>(window, "cbWriteChapters")->isChecked());
        QVERIFY(control<QCheckBox>(window, "cbSubsAsPgs")->isChecked());
        const QString sep = QDir::separator();
        QCOMPARE(window.inputFolder(),
                 QDir::toNativeSeparators(app::fromPath(disc / "HVDVD_TS")) + sep);
        QCOMPARE(window.playlistFolder(),
                 QDir::toNativeSeparators(app::fromPath(disc / "ADV_OBJ")) + sep);
    }

    void aMaximisedWindowKeepsTheNormalGeometry() {
        {
            QSettings settings = store();
            settings.setValue("Left", 30);
            settings.setValue("Top", 40);
            settings.setValue("Width", 500);
            settings.setValue("Height", 450);
        }
        {
            TfMain window;
            window.show();
            activate(window);
            QCOMPARE(window.frameGeometry(), QRect(30, 40, 500, 450));
            window.showMaximized();
            QVERIFY(window.isMaximized());
            window.close();
        }
        QSettings settings = store();
        QCOMPARE(settings.value("WindowState").toInt(), 2);
        QCOMPARE(settings.value("Left").toInt(), 30);
        QCOMPARE(settings.value("Top").toInt(), 40);
        QCOMPARE(settings.value("Width").toInt(), 500);
        QCOMPARE(settings.value("Height").toInt(), 450);

        TfMain window;
        window.show();
        activate(window);
        QVERIFY(window.isMaximized());
    }

    void storedSettingsApplyFromTheStart() {
        const std::map<QString, QVariant> stored{
            {"Workdir", "/kept"}, {"AutoRebuild", 1}, {"Continue", 0}, {"Left", 30},
            {"Top", 40},          {"Width", 500},     {"Height", 450}, {"TreeWidth", 150}};
        for (const auto& [name, value] : stored) store().setValue(name, value);
        auto expectStored = [&] {
            for (const auto& [name, value] : stored)
                QCOMPARE(store().value(name).toString(), value.toString());
        };
        {
            // Closed without ever being shown or activated: the user's settings stay.
            TfMain window;
            QCOMPARE(control<QLineEdit>(window, "eWorkdir")->text(), QStringLiteral("/kept"));
            QVERIFY(control<QRadioButton>(window, "rbAutoRebuild")->isChecked());
            QVERIFY(!control<QCheckBox>(window, "cbContinue")->isChecked());
            window.close();
        }
        expectStored();
        // Shown at the stored place and size; the first activation moves nothing.
        TfMain window;
        window.show();
        QCOMPARE(window.frameGeometry(), QRect(30, 40, 500, 450));
        activate(window);
        QCOMPARE(window.frameGeometry(), QRect(30, 40, 500, 450));
        control<QTabWidget>(window, "PageControl")->setCurrentIndex(4);  // the XPL page
        QCoreApplication::processEvents();
        QCOMPARE(control<QSplitter>(window, "splXPL")->sizes().front(), 150);
        window.close();
        expectStored();
    }

    void laterActivationsKeepTheUsersEdits() {
        {
            QSettings settings = store();
            settings.setValue("Workdir", "/stored");
            settings.setValue("Width", 400);
        }
        TfMain window;
        window.show();
        activate(window);
        QCOMPARE(control<QLineEdit>(window, "eWorkdir")->text(), QStringLiteral("/stored"));
        control<QLineEdit>(window, "eWorkdir")->setText("/typed");
        window.resize(450, 460);
        activate(window);
        QCOMPARE(control<QLineEdit>(window, "eWorkdir")->text(), QStringLiteral("/typed"));
        QCOMPARE(window.width(), 450);

        // A value another instance stored since is taken up.
        store().setValue("Workdir", "/other");
        activate(window);
        QCOMPARE(control<QLineEdit>(window, "eWorkdir")->text(), QStringLiteral("/other"));
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
