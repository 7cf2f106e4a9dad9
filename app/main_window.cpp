// The window's life: construction, activation, showing, closing, resizing, dropped files, and
// the message log and status line it offers the runs.
#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "app/logo.h"
#include "app/paths.h"
#include "engine/input_kind.h"
#include "engine/markup.h"
#include "engine/names.h"

#ifndef KAVREL_VERSION
#define KAVREL_VERSION "0"
#endif

using kavrel::app::fromUtf8;
using kavrel::app::toUtf8;

TfMain::TfMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("fMain"));
    setWindowTitle(QStringLiteral("HD DVD Kavrel " KAVREL_VERSION));
    buildControls();
    connectHandlers();
    installDefaultDialogs();
    setWindowIcon(kavrel::app::applicationIcon());
    setMinimumSize(360, 414);
    resize(firstSize());
    // The stored settings apply from the start: a window closed before it was ever activated
    // stores them back unchanged, and the first activation finds nothing new to apply.
    RegRead();
}

QSize TfMain::firstSize() const {
    QSize size = sizeHint().expandedTo(minimumSize());
    // The tab widget asks for no more than a scrolled tab bar; the bar's own hint holds every
    // tab, and the pane's frame and the window's margins lie around it.
    const int frame = PageControl->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const QMargins margins = centralWidget()->layout()->contentsMargins();
    const int tabs = PageControl->tabBar()->sizeHint().width() + 2 * frame + margins.left() +
                     margins.right() + 8;
    size.setWidth(std::max({size.width(), tabs, statusLine_->widthDuringRun()}));
    if (const QScreen* shown = screen()) {
        size = size.boundedTo(shown->availableGeometry().size() * 9 / 10).expandedTo(minimumSize());
    }
    return size;
}

TfMain::~TfMain() = default;

void TfMain::connectHandlers() {
    connect(bReadEVO, &QPushButton::clicked, this, &TfMain::bReadEVOClick);
    connect(bDemux, &QPushButton::clicked, this, &TfMain::bDemuxClick);
    connect(bRebuild, &QPushButton::clicked, this, &TfMain::bRebuildClick);
    connect(bMakeMkv, &QPushButton::clicked, this, &TfMain::bMakeMkvClick);
    connect(bReadXPL, &QPushButton::clicked, this, &TfMain::bReadXPLClick);
    connect(bCancel, &QPushButton::clicked, this, &TfMain::bCancelClick);
    connect(bClear, &QPushButton::clicked, this, &TfMain::bClearClick);
    connect(bbEVO, &QToolButton::clicked, this, &TfMain::bbEVOClick);
    connect(cbTitle, &QComboBox::currentIndexChanged, this, &TfMain::titleChosen);
    connect(cbAngle, &QComboBox::currentIndexChanged, this, &TfMain::angleChosen);
    connect(bbXPL, &QToolButton::clicked, this, &TfMain::bbXPLClick);
    connect(bbWorkdir, &QToolButton::clicked, this, &TfMain::bbWorkdirClick);
    connect(bExtractTracks, &QPushButton::clicked, this, &TfMain::bExtractTracksClick);
    // Return in the input field presses the default button, as in a dialog.
    connect(eEVOfile, &QLineEdit::returnPressed, this, [this] {
        if (bReadEVO->isDefault() && bReadEVO->isEnabled()) bReadEVO->click();
    });
    for (std::span<QCheckBox*> group :
         {std::span<QCheckBox*>(cbVideo), std::span<QCheckBox*>(cbAudio),
          std::span<QCheckBox*>(cbSub)}) {
        for (QCheckBox* box : group) connect(box, &QCheckBox::clicked, this, &TfMain::cbVideoClick);
    }
    connect(splXPL, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = splXPL->sizes();
        if (!sizes.isEmpty() && sizes.front() > 0) treeWidth_ = sizes.front();
    });
}

void TfMain::installDefaultDialogs() {
    chooseInputFile = [this](const QString& folder) {
        QFileDialog dialog(this, QStringLiteral("Choose the EVO file to demux"), folder);
        dialog.setObjectName(QStringLiteral("odEVOfile"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setDefaultSuffix(QStringLiteral("EVO"));
        dialog.setNameFilters({QStringLiteral("All supported file (*.aob *.evo *.vob *.iso *.ifo)"),
                               QStringLiteral("EVOB files (HD DVD) (*.evo)"),
                               QStringLiteral("AOB files (DVD Audio) (*.aob)"),
                               QStringLiteral("VOB files (DVD Video) (*.vob)"),
                               QStringLiteral("DVD discs: image or IFO file (*.iso *.ifo)")});
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().front();
    };
    choosePlaylistFile = [this](const QString& folder, const QString& fileName) {
        QFileDialog dialog(this, QStringLiteral("Browse the HD DVD disc's VPLST000.XPL"), folder);
        dialog.setObjectName(QStringLiteral("odXPL"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setNameFilters({QStringLiteral("XPL (VPLST000.XPL)")});
        if (!fileName.isEmpty()) dialog.selectFile(fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().front();
    };
    chooseFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Select a directory"), start);
    };
    confirmStop = [this] {
        return QMessageBox::question(this, QApplication::applicationName(),
                                     QStringLiteral("Are you sure to stop demuxing?"),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
}

// ---- Message log and status line ----

void TfMain::log(std::string_view markup) {
    messageLog_->append(markup);
}

void TfMain::slog(const QString& text, int panel) {
    statusLine_->set(panel, text);
}

void TfMain::bClearClick() {
    messageLog_->clear();
}

void TfMain::showProgress(uint64_t position, uint64_t size) {
    statusLine_->showProgress(position, size);
}

void TfMain::setCancelEnabled(bool enabled) {
    bCancel->setEnabled(enabled);
}

// ---- Window events ----

bool TfMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QMainWindow::event(event);
}

void TfMain::FormActivate() {
    // An activation inside a run (after the Cancel confirmation, say) must not touch the
    // controls the run is using.
    if (running()) return;
    fitFrameToStoredSize();
    RegRead();
    // Streams a read or a playlist offered stay on offer when the user comes back to the window.
    if (!offered_) Resetcbs();
}

void TfMain::showEvent(QShowEvent* event) {
    setAcceptDrops(true);
    QMainWindow::showEvent(event);
    fitFrameToStoredSize();
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (running()) {
        // Closing stops the run; a demux or rebuild asks first, as Cancel does.
        if (!askToStop()) {
            event->ignore();
            return;
        }
    }
    RegWrite();
    QMainWindow::closeEvent(event);
}

void TfMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfMain::FormResize() {
    // The strip sits at the central widget's left margin; the logo's left edge is in window
    // coordinates.
    const int stripLeft = logoStrip->mapTo(this, QPoint(0, 0)).x();
    imLogo->move(kavrel::app::logoLeft(width()) - stripLeft, 2);
}

void TfMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!running() && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    if (running() || urls.isEmpty() || !urls.front().isLocalFile()) return;
    // The drop is released first; a read it starts runs from the event loop, not inside the
    // drag-and-drop protocol of the desktop.
    const QString path = urls.front().toLocalFile();
    QTimer::singleShot(0, this, [this, path] { droppedFile(path); });
}

void TfMain::droppedFile(const QString& path) {
    if (running()) return;
    // Other files are ignored, and so is an .AOB (the browse dialog takes it).
    openFile(path, false);
}

bool TfMain::openFile(const QString& path, bool takeAob) {
    const std::filesystem::path file = kavrel::app::toPath(path);
    const std::string extension = kavrel::upperExtension(file);
    if (openDisc(path)) {
        // A disc: its titles in the title box, or its tracks on the Tracks page.
    } else if (QFileInfo(path).isDir()) {
        return false;  // a folder that holds no disc, whatever its name
    } else if ((extension == ".EVO" || extension == ".VOB" || extension == ".AOB") &&
               // A disc object by its name; an AOB (by what it holds) only where the caller takes
               // one.
               (takeAob || kavrel::inputKindOf(file) != kavrel::InputKind::Aob)) {
        inputChosen(QDir::toNativeSeparators(path));
    } else if (extension == ".XPL") {
        playlistChosen(QDir::toNativeSeparators(path));
    } else {
        return false;
    }
    return true;
}

void TfMain::openArguments(const QStringList& files) {
    if (files.isEmpty() || running()) return;
    // The stored options, "Auto read" among them, decide what opening the file does.
    RegRead();
    bool reported = false;
    const QFileInfo file(files.front());
    const std::string name = toUtf8(files.front());
    if (!file.exists()) {
        log(kavrel::errorLine("Cannot open " + name + ": no such file"));
        reported = true;
    } else if (!openFile(file.absoluteFilePath(), true)) {
        log(kavrel::errorLine(
            "Cannot open " + name +
            (file.isDir() ? ": it is a folder" : ": not an EVO, VOB, AOB or XPL file")));
        reported = true;
    }
    // Said after the read of the first file, so that the note is not scrolled away by it.
    for (qsizetype i = 1; i < files.size(); ++i) {
        log("[re]Only one file is opened at a time; left out: " +
            kavrel::markupLiteral(toUtf8(files[i])) + "[/re]");
        reported = true;
    }
    if (reported) showStatusPage();
}

void TfMain::showStatusPage() {
    PageControl->setCurrentWidget(tsStatus);
}

QString TfMain::inputPath() const {
    return eEVOfile->text();
}
