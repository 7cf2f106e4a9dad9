// Choosing the input and the playlist: the browse dialogs, the output folder picker, and the
// companion folders of an HD DVD disc layout (HVDVD_TS beside ADV_OBJ).
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "app/main_window.h"
#include "app/paths.h"
#include "engine/names.h"

using kavrel::app::folderWithSeparator;

namespace {

const QString kPlaylistName = QStringLiteral("VPLST000.XPL");

// The sibling of a folder named `from` (any case) called `to`, spelled as it is on disk when it
// exists there (copies of discs are sometimes lower-cased); empty when folder is not `from`.
QString siblingFolder(const QString& folder, const QString& from, const QString& to) {
    QDir dir(folder);
    if (folder.isEmpty() || dir.dirName().compare(from, Qt::CaseInsensitive) != 0) return {};
    if (!dir.cdUp()) return {};
    QString name = to;
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(to, Qt::CaseInsensitive) == 0) {
            name = entry;
            break;
        }
    }
    return folderWithSeparator(dir.filePath(name));
}

}  // namespace

void TfMain::EVOadj() {
    const QString path = eEVOfile->text();
    bReadEVO->setEnabled(!path.isEmpty());
    if (!path.isEmpty()) evoDir_ = folderWithSeparator(QFileInfo(path).absolutePath());

    eXPLfile->setText(kPlaylistName);
    const QString playlistDir =
        siblingFolder(evoDir_, QStringLiteral("HVDVD_TS"), QStringLiteral("ADV_OBJ"));
    if (!playlistDir.isEmpty()) {
        xplDir_ = playlistDir;
        xplName_ = kPlaylistName;
        eXPLfile->setText(xplDir_ + xplName_);
    }
    // The bare name is only a placeholder: reading it would open whatever lies in the
    // process's current folder.
    bReadXPL->setEnabled(!xplName_.isEmpty() && QFileInfo(eXPLfile->text()).isAbsolute());
}

void TfMain::XPLadj() {
    const QFileInfo playlist(eXPLfile->text());
    xplName_ = playlist.fileName();
    if (!xplName_.isEmpty()) xplDir_ = folderWithSeparator(playlist.absolutePath());
    bReadXPL->setEnabled(!xplName_.isEmpty() && playlist.isAbsolute());

    const QString inputDir =
        siblingFolder(xplDir_, QStringLiteral("ADV_OBJ"), QStringLiteral("HVDVD_TS"));
    if (!inputDir.isEmpty()) evoDir_ = inputDir;
}

void TfMain::inputChosen(const QString& path, std::vector<kavrel::DiscTitle> titles) {
    eEVOfile->setText(path);
    discTitles_ = std::move(titles);
    showTitles();
    session_.forgetLists();  // chosen anew: the file may have changed since it was read
    EVOadj();
    if (bReadEVO->isEnabled()) bReadEVO->setFocus();
    Resetcbs();
    if (cbAutoRead->isChecked()) bReadEVOClick();
}

void TfMain::playlistChosen(const QString& path) {
    eXPLfile->setText(path);
    XPLadj();
    if (cbAutoRead->isChecked()) bReadXPLClick();
}

void TfMain::bbEVOClick() {
    if (running()) return;
    // Only a confirmed choice is applied; a cancelled dialog changes nothing.
    const QString path = chooseInputFile(evoDir_);
    if (!path.isEmpty() && !openDisc(path)) inputChosen(QDir::toNativeSeparators(path));
}

void TfMain::bbXPLClick() {
    if (running()) return;
    const QString path = choosePlaylistFile(xplDir_, xplName_);
    if (!path.isEmpty()) playlistChosen(QDir::toNativeSeparators(path));
}

void TfMain::bbWorkdirClick() {
    const QString folder = chooseFolder(eWorkdir->text());
    if (!folder.isEmpty()) eWorkdir->setText(QDir::toNativeSeparators(folder));
}
