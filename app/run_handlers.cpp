// The handlers that start runs, the stream check boxes, and the Cancel button. Runs are called
// directly from the handlers; the window answers clicks only at the engine's progress reports,
// so while a run goes every control that could start another one is disabled.
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

#include "app/main_window.h"
#include "app/paths.h"
#include "app/playlist_view.h"
#include "engine/input_kind.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "engine/output_forms.h"
#include "playlist/playlist.h"

using kavrel::RunOutcome;
using kavrel::app::fromUtf8;
using kavrel::app::toPath;
using kavrel::app::toUtf8;

// Marks a run as going: the controls that start runs are disabled and the progress bar shown.
// On every way out the controls get back the state they had, Cancel is disabled and the
// progress bar hidden.
class TfMain::RunScope {
  public:
    RunScope(TfMain& window, RunKind kind)
        : window_(window), controls_{window.bReadEVO, window.bReadXPL, window.bDemux,
                                     window.bRebuild, window.bMakeMkv, window.bbEVO,
                                     window.bbXPL,    window.cbTitle,  window.cbAngle} {
        for (std::size_t i = 0; i < controls_.size(); ++i) {
            enabled_[i] = controls_[i]->isEnabled();
            controls_[i]->setEnabled(false);
        }
        window_.run_ = kind;
        window_.session_.stopRequest() = false;
        if (kind != RunKind::Playlist) window_.statusLine_->showProgress(0, 0);
    }
    ~RunScope() {
        for (std::size_t i = 0; i < controls_.size(); ++i) controls_[i]->setEnabled(enabled_[i]);
        window_.bCancel->setEnabled(false);
        window_.statusLine_->hideProgress();
        window_.run_ = RunKind::None;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    TfMain& window_;
    std::array<QWidget*, 9> controls_;
    std::array<bool, 9> enabled_{};
};

namespace {

// A caption becomes part of an output file name: it must stay one name in the output folder,
// whatever a playlist put into it.
std::string fileNamePart(const QString& caption) {
    QString part = caption;
    for (QChar& c : part) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') ||
            c.unicode() < 0x20) {
            c = QLatin1Char('_');
        }
    }
    return toUtf8(part);
}

}  // namespace

QCheckBox* TfMain::formBox(std::string_view settingsKey) const {
    const auto forms = kavrel::outputForms();
    for (std::size_t i = 0; i < forms.size() && i < formBoxes.size(); ++i)
        if (settingsKey == forms[i].settingsKey) return formBoxes[i];
    return nullptr;
}

// ---- The stream check boxes ----

QCheckBox* TfMain::slotBox(int slot) const {
    if (slot < kavrel::audioSlot(0)) return cbVideo[static_cast<std::size_t>(slot)];
    if (slot < kavrel::subSlot(0)) {
        return cbAudio[static_cast<std::size_t>(slot - kavrel::audioSlot(0))];
    }
    return cbSub[static_cast<std::size_t>(slot - kavrel::subSlot(0))];
}

// A box counts as chosen only while it offers a stream: a box left checked from an earlier
// input but disabled by Resetcbs stands for nothing in the present one.
std::array<bool, kavrel::kSlotCount> TfMain::selectedSlots() const {
    std::array<bool, kavrel::kSlotCount> selected{};
    for (int slot = 0; slot < kavrel::kSlotCount; ++slot) {
        const QCheckBox* box = slotBox(slot);
        selected[static_cast<std::size_t>(slot)] = box->isEnabled() && box->isChecked();
    }
    return selected;
}

bool TfMain::anySelected() const {
    for (std::span<QCheckBox* const> group :
         {std::span<QCheckBox* const>(cbVideo), std::span<QCheckBox* const>(cbAudio),
          std::span<QCheckBox* const>(cbSub)}) {
        for (const QCheckBox* box : group) {
            if (box->isEnabled() && box->isChecked()) return true;
        }
    }
    return false;
}

void TfMain::Resetcbs() {
    for (QCheckBox* box : cbVideo) {
        box->setEnabled(false);
        box->setText(QStringLiteral("No video stream"));
    }
    for (int slot = kavrel::audioSlot(0); slot < kavrel::kSlotCount; ++slot) {
        QCheckBox* box = slotBox(slot);
        box->setEnabled(false);
        box->setText(fromUtf8(kavrel::emptyCaption(slot)));
        box->setToolTip({});
    }
    offered_ = false;
    offerKeys_.fill(-1);
    cbVideoClick();
}

void TfMain::cbVideoClick() {
    // During a run the buttons belong to the run; it calls this again when it ends.
    if (running()) return;
    const bool any = anySelected() && !inputPath().isEmpty();
    bDemux->setEnabled(any);
    bMakeMkv->setEnabled(any);
    // A disc's title, of any kind, is rebuilt as an EVO is.
    if (!discTitles_.empty() || inputKind() == kavrel::InputKind::Evo) bRebuild->setEnabled(any);
}

void TfMain::offerFoundStreams() {
    const auto captions = session_.offeredCaptions();
    for (int slot = 0; slot < kavrel::kSlotCount; ++slot) {
        const std::string& caption = captions[static_cast<std::size_t>(slot)];
        QCheckBox* box = slotBox(slot);
        const bool found = !caption.empty();
        box->setEnabled(found);
        box->setChecked(found);
        if (found) box->setText(fromUtf8(caption));
        box->setToolTip({});
    }
    // The title's language of a stream, beside its caption (which names its file).
    for (const kavrel::StreamInfo& info : session_.findings().streams.all()) {
        const kavrel::TitleTrack* track = info.selectable() ? session_.trackOf(info) : nullptr;
        if (track && !track->language.empty())
            slotBox(info.slot())
                ->setToolTip(QStringLiteral("Language: ") + fromUtf8(track->language));
    }
    offered_ = true;
}

// ---- Runs ----

kavrel::RunOptions TfMain::runOptions() const {
    kavrel::RunOptions options;
    options.scan.fastCheck = cbFastCheck->isChecked();
    options.scan.countFrames = cbCountFr->isChecked();
    options.scan.details = cbDetails->isChecked();
    options.scan.kind = inputKind();
    options.scan.checked = selectedSlots();
    options.cont = cbContinue->isChecked();
    options.videoExt = toUtf8(eVideoExt->text());
    options.audioExt = toUtf8(eAudioExt->text());
    options.subExt = toUtf8(eSubExt->text());
    options.workdir = toPath(eWorkdir->text());
    const auto forms = kavrel::outputForms();
    for (std::size_t i = 0; i < forms.size() && i < formBoxes.size(); ++i)
        options.*forms[i].chosen = formBoxes[i]->isChecked();
    return options;
}

std::array<std::string, kavrel::kSlotCount> TfMain::checkedCaptions(
    const kavrel::RunOptions& options) const {
    std::array<std::string, kavrel::kSlotCount> captions;
    for (int slot = 0; slot < kavrel::kSlotCount; ++slot) {
        const auto index = static_cast<std::size_t>(slot);
        if (options.scan.checked[index]) captions[index] = fileNamePart(slotBox(slot)->text());
    }
    return captions;
}

RunOutcome TfMain::guarded(const std::function<RunOutcome()>& run) {
    try {
        return run();
    } catch (const std::exception& error) {
        log(kavrel::errorLine(error.what()));
    } catch (...) {
        log(kavrel::errorLine("the run stopped on an unknown error"));
    }
    return RunOutcome::Failed;
}

// The playlist the chapters come from; the bare name in eXPLfile is only a placeholder.
std::filesystem::path TfMain::playlistPath() const {
    const QString path = eXPLfile->text();
    return QFileInfo(path).isAbsolute() ? toPath(path) : std::filesystem::path();
}

void TfMain::endFailedRun() {
    slog(QStringLiteral("Ready"), 0);
    slog(QString(), 1);
    // The error is in the log: the user is taken there, whatever page the run started on.
    showStatusPage();
}

bool TfMain::startWriting() {
    PageControl->setCurrentIndex(0);
    if (prepareOutputFolder()) return true;
    endFailedRun();
    return false;
}

bool TfMain::prepareOutputFolder() {
    const std::filesystem::path folder = toPath(eWorkdir->text());
    if (folder.empty()) return true;  // the outputs go beside the input
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error && std::filesystem::is_directory(folder, error)) return true;
    log(kavrel::errorLine("Cannot use the output folder " + toUtf8(eWorkdir->text()) + ": " +
                          (error ? error.message() : std::string("it is not a folder"))));
    return false;
}

bool TfMain::openSession() {
    if (discTitles_.empty()) {
        session_.openFile(toPath(inputPath()), cbContinue->isChecked(), playlistPath());
        return true;
    }
    std::string problem;
    try {
        problem =
            session_.open(toPath(inputPath()), chosenTitle(), cbContinue->isChecked(),
                          playlistPath(), cbAngle->count() > 1 ? cbAngle->currentIndex() + 1 : 1);
    } catch (const std::exception& error) {  // a disc reader's failure other than its own
        problem = error.what();
    }
    if (problem.empty()) return true;
    // The disc may have changed since it was chosen.
    log(kavrel::errorLine("Cannot open " + toUtf8(inputPath()) + ": " + problem));
    endFailedRun();
    return false;
}

RunOutcome TfMain::readInput() {
    if (cbAutoClear->isChecked()) messageLog_->clear();
    RunOutcome outcome = RunOutcome::Failed;
    {
        RunScope scope(*this, RunKind::Read);
        Resetcbs();
        PageControl->setCurrentIndex(0);
        const kavrel::RunOptions options = runOptions();
        outcome = guarded([&] { return session_.read(options, host_).outcome; });
        if (outcome == RunOutcome::Failed)
            endFailedRun();
        else
            offerFoundStreams();
    }
    cbVideoClick();
    return outcome;
}

bool TfMain::readBeforeWriting() {
    if (session_.listsAreCurrent()) return true;
    // The boxes offer what a playlist or an earlier input declared; the user's choice among them
    // (and the playlist's captions) stays, on the streams the read finds: a playlist's track on
    // the stream of its key, an earlier offer on its box.
    struct Box {
        bool offered;
        bool checked;
        QString caption;
        int32_t key;
    };
    std::array<Box, kavrel::kSlotCount> before{};
    bool anyOffered = false;
    for (int slot = 0; slot < kavrel::kSlotCount; ++slot) {
        const QCheckBox* box = slotBox(slot);
        const auto s = static_cast<std::size_t>(slot);
        before[s] = {box->isEnabled(), box->isChecked(), box->text(), offerKeys_[s]};
        anyOffered = anyOffered || box->isEnabled();
    }
    if (readInput() != RunOutcome::Done) return false;
    if (anyOffered) {
        const kavrel::StreamLists& lists = session_.findings().lists;
        for (int slot = 0; slot < kavrel::kSlotCount; ++slot) {
            QCheckBox* box = slotBox(slot);
            if (!box->isEnabled()) continue;
            const int32_t key = lists.ofSlot(slot);
            const Box* was = &before[static_cast<std::size_t>(slot)];
            for (const Box& offer : before)
                if (offer.key >= 0 && offer.key == key &&
                    kavrel::slotKind(static_cast<int>(&offer - before.data())) ==
                        kavrel::slotKind(slot))
                    was = &offer;
            const bool same = was->key < 0 || was->key == key;
            box->setChecked(same && was->offered && was->checked);
            if (same && was->offered) box->setText(was->caption);
        }
    }
    cbVideoClick();
    return anySelected();
}

void TfMain::bReadEVOClick() {
    if (running() || inputPath().isEmpty() || !openSession()) return;
    const RunOutcome outcome = readInput();
    // A read the user stopped offers what it found, but nothing runs on by itself.
    if (outcome != RunOutcome::Done) return;
    // The follow-up does what a click would: nothing when there is nothing to demux.
    if (rbAutoDemux->isChecked() && bDemux->isEnabled()) {
        bDemuxClick();
    } else if (rbAutoRebuild->isChecked() && bRebuild->isEnabled()) {
        bRebuildClick();
    }
}

void TfMain::bDemuxClick() {
    if (running() || inputPath().isEmpty()) return;
    // A demux works on the streams a read of this very input found.
    if (!openSession() || !readBeforeWriting()) return;
    RunScope scope(*this, RunKind::Demux);
    if (!startWriting()) return;
    const kavrel::RunOptions options = runOptions();
    const auto captions = checkedCaptions(options);
    const RunOutcome outcome = guarded([&] {
        return session_.demux(options, captions, cbWriteChapters->isChecked(), host_).outcome;
    });
    if (outcome == RunOutcome::Failed) endFailedRun();
}

void TfMain::bMakeMkvClick() {
    if (running() || inputPath().isEmpty()) return;
    // The Matroska file holds the title that plays the input: its further clips are read too.
    if (!openSession()) return;
    std::string error;
    if (!session_.takeFeature(cbContinue->isChecked(), host_, error)) {
        endFailedRun();
        return;
    }
    if (!readBeforeWriting()) return;
    RunScope scope(*this, RunKind::Mkv);
    if (!startWriting()) return;
    const kavrel::RunOptions options = runOptions();
    const auto captions = checkedCaptions(options);
    const RunOutcome outcome = guarded([&] {
        return session_.mkv(session_.mkvOutput(options), false, options, captions, host_).outcome;
    });
    if (outcome == RunOutcome::Failed) endFailedRun();
}

void TfMain::bRebuildClick() {
    if (running() || inputPath().isEmpty()) return;
    // The rebuild filters on the stream lists of a read of this very input.
    if (!openSession() || !readBeforeWriting()) return;
    RunScope scope(*this, RunKind::Rebuild);
    if (!startWriting()) return;
    const kavrel::RunOptions options = runOptions();
    const RunOutcome outcome = guarded([&] { return session_.rebuild(options, host_).outcome; });
    if (outcome == RunOutcome::Failed) endFailedRun();
}

void TfMain::bReadXPLClick() {
    const QString path = eXPLfile->text();
    if (running() || path.isEmpty()) return;
    {
        RunScope scope(*this, RunKind::Playlist);
        PageControl->setCurrentWidget(tsXPL);
        // The title is found by the input's own name (FEATURE_1), whatever base name a read
        // run formed for its outputs.
        const std::string baseName = kavrel::CutExt(toUtf8(QFileInfo(inputPath()).fileName()));
        std::optional<kavrel::playlist::Playlist> playlist;
        try {
            playlist = kavrel::playlist::readPlaylist(toPath(path), baseName, host_);
        } catch (const std::exception& error) {
            log(kavrel::errorLine(error.what()));
        }
        if (playlist) {
            mXPL->hide();
            kavrel::app::showMemo(mXPL, playlist->memo);
            if (playlist->titleFound) {
                kavrel::app::showTree(tvXPL, playlist->tree);
                // The title's tracks replace what was offered; without a title for the input
                // the offer of the last read stays.
                Resetcbs();
                for (const auto& offer : playlist->offers) {
                    if (offer.slot < 0 || offer.slot >= kavrel::kSlotCount) continue;
                    QCheckBox* box = slotBox(offer.slot);
                    box->setEnabled(true);
                    box->setChecked(true);
                    box->setText(fromUtf8(offer.label));
                    offerKeys_[static_cast<std::size_t>(offer.slot)] = offer.key;
                    offered_ = true;
                }
                fitPlaylistTree();
            } else if (!baseName.empty()) {
                showStatusPage();  // "No title … plays" is the news
            }
            mXPL->show();
        } else {
            endFailedRun();  // and the Status page, where the error is
        }
    }
    cbVideoClick();
}

void TfMain::fitPlaylistTree() {
    const QList<int> sizes = splXPL->sizes();
    if (sizes.size() != 2) return;
    const int total = sizes[0] + sizes[1];
    const QAbstractItemView* view = tvXPL;
    const int wanted = view->sizeHintForColumn(0) + 2 * tvXPL->frameWidth() +
                       tvXPL->verticalScrollBar()->sizeHint().width();
    const int width = std::min(wanted, total / 2);
    // The stored tree width is the user's; only a narrower tree is widened, for this playlist.
    if (width > sizes[0]) splXPL->setSizes({width, total - width});
}

// ---- Cancel ----

bool TfMain::askToStop() {
    // A read stops at once; a run that writes files asks first.
    const bool writing = run_ == RunKind::Demux || run_ == RunKind::Rebuild || run_ == RunKind::Mkv;
    if (!writing) {
        session_.stopRequest() = true;
        return true;
    }
    if (!confirmStop()) return false;
    session_.stopRequest() = true;
    log("Cancelled.");
    session_.markCancelLogged();  // the run ends without saying it again
    return true;
}

void TfMain::bCancelClick() {
    if (running()) askToStop();
}
