// Taking a disc as the input: a DVD-Video or HD DVD disc's titles in the title box, the chosen
// one opened in the session; a DVD-Audio disc goes to the Tracks page.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSignalBlocker>
#include <exception>

#include "app/main_window.h"
#include "app/paths.h"
#include "dvdaudio/audio_disc.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "engine/title_files.h"
#include "engine/title_summary.h"
#include "session/disc_readers.h"

using kavrel::app::fromUtf8;
using kavrel::app::toPath;
using kavrel::app::toUtf8;

bool TfMain::openDisc(const QString& path) {
    const QFileInfo info(path);
    const std::string extension = kavrel::upperExtension(toPath(path));
    if (extension != ".ISO" && extension != ".IFO" && !info.isDir()) return false;
    // An IFO file stands for its disc: the folder that holds it (VIDEO_TS, AUDIO_TS).
    const QString disc = QDir::toNativeSeparators(extension == ".IFO" ? info.absolutePath() : path);
    const std::filesystem::path discPath = toPath(disc);
    if (kavrel::dvdaudio::looksLikeAudioDisc(discPath)) {
        audioDiscChosen(disc);
        return true;
    }
    std::vector<std::string> problems;  // the session logs them when it reads a title
    std::optional<kavrel::session::DiscTitles> titles;
    std::string error;
    try {
        titles = kavrel::session::readDisc(discPath, problems);
        if (titles && titles->empty()) error = "the disc has no title";
        // An image or an IFO file is named as a disc: it is no stream to read either.
        if (!titles && !info.isDir()) error = "it holds no DVD disc";
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    if (!error.empty()) {
        // The input stays what it was: nothing of this disc can be read.
        log(kavrel::errorLine("Cannot open " + toUtf8(QDir::toNativeSeparators(path)) + ": " +
                              error));
        showStatusPage();
        return true;
    }
    if (!titles) return false;
    inputChosen(disc, std::move(*titles));
    return true;
}

void TfMain::showTitles() {
    const QSignalBlocker quiet(cbTitle);  // filling the box is no choice of the user's
    cbTitle->clear();
    const kavrel::DiscTitle* main = kavrel::session::chooseTitle(discTitles_, std::nullopt);
    for (const kavrel::DiscTitle& title : discTitles_) {
        cbTitle->addItem(fromUtf8(kavrel::titleSummary(title)), title.number);
        if (&title == main) cbTitle->setCurrentIndex(cbTitle->count() - 1);
    }
    cbTitle->view()->setMinimumWidth(cbTitle->view()->sizeHintForColumn(0) + 16);
    cbTitle->setToolTip(cbTitle->currentText());
    lTitle->setVisible(!discTitles_.empty());
    cbTitle->setVisible(!discTitles_.empty());
    showAngles();
}

void TfMain::showAngles() {
    const QSignalBlocker quiet(cbAngle);
    cbAngle->clear();
    const kavrel::DiscTitle* title =
        discTitles_.empty() ? nullptr : kavrel::session::chooseTitle(discTitles_, chosenTitle());
    const int angles = title ? title->angles : 1;
    for (int angle = 1; angle <= angles; ++angle) cbAngle->addItem(QString::number(angle));
    lAngle->setVisible(angles > 1);
    cbAngle->setVisible(angles > 1);
}

void TfMain::titleChosen() {
    // Another title: the lists and the boxes are those of no read of it yet.
    cbTitle->setToolTip(cbTitle->currentText());
    showAngles();
    angleChosen();
}

void TfMain::angleChosen() {
    // Another title or angle: the lists and the boxes are those of no read of it yet.
    session_.forgetLists();
    Resetcbs();
    if (cbAutoRead->isChecked()) bReadEVOClick();
}

std::optional<int> TfMain::chosenTitle() const {
    if (discTitles_.empty() || cbTitle->currentIndex() < 0) return std::nullopt;
    return cbTitle->currentData().toInt();
}

kavrel::InputKind TfMain::inputKind() const {
    if (discTitles_.empty()) return kavrel::inputKindOf(toPath(inputPath()));
    const kavrel::DiscTitle* title = kavrel::session::chooseTitle(discTitles_, chosenTitle());
    const std::vector<kavrel::TitlePart> parts =
        title ? kavrel::titleParts(*title) : std::vector<kavrel::TitlePart>();
    return parts.empty() ? kavrel::InputKind::Vob : kavrel::partKind(parts.front());
}
