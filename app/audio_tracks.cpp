// The Tracks page: the tracks of a DVD-Audio disc with check boxes, and "Extract tracks", which
// writes the checked ones through the core's track workflow.
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "app/paths.h"
#include "dvdaudio/audio_disc.h"
#include "dvdaudio/extract_tracks.h"
#include "engine/markup.h"
#include "engine/timefmt.h"

using kavrel::app::fromUtf8;
using kavrel::app::toPath;
using kavrel::app::toUtf8;
namespace dvdaudio = kavrel::dvdaudio;

namespace {

constexpr int kTitleRole = Qt::UserRole;
constexpr int kTrackRole = Qt::UserRole + 1;

QString formatText(const dvdaudio::TrackFormat& format) {
    const auto names = format.channelNames();
    QString text = QStringLiteral("%1 bit %2 Hz, %3")
                       .arg(format.bits[0])
                       .arg(format.sampleRate[0])
                       .arg(fromUtf8(names[0]));
    if (!names[1].empty())
        text += QStringLiteral(" + %1 bit %2 Hz, %3")
                    .arg(format.bits[1])
                    .arg(format.sampleRate[1])
                    .arg(fromUtf8(names[1]));
    return text;
}

}  // namespace

QWidget* TfMain::buildTracksPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    tvTracks = new QTreeWidget(page);
    tvTracks->setObjectName(QStringLiteral("tvTracks"));
    tvTracks->setRootIsDecorated(false);
    tvTracks->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Track"),
                               QStringLiteral("Duration"), QStringLiteral("Format")});
    tvTracks->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(tvTracks, 1);
    bExtractTracks = new QPushButton(QStringLiteral("Extract tracks"), page);
    bExtractTracks->setObjectName(QStringLiteral("bExtractTracks"));
    bExtractTracks->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(bExtractTracks);
    row->addStretch(1);
    layout->addLayout(row);
    return page;
}

void TfMain::audioDiscChosen(const QString& path) {
    auto disc = std::make_shared<dvdaudio::AudioDisc>(dvdaudio::readAudioDisc(toPath(path)));
    tvTracks->clear();
    // A disc of no readable track table is still written: its audio objects whole.
    if (!disc->error.empty() && disc->damaged.empty()) {
        audioDisc_.reset();
        bExtractTracks->setEnabled(false);
        log("[re]Error: " + kavrel::markupLiteral(disc->error) + "[/re]");
        showStatusPage();
        return;
    }
    for (const dvdaudio::DiscAudioTitle& title : disc->titles) {
        for (const dvdaudio::DiscTrack& track : title.tracks) {
            auto* item = new QTreeWidgetItem(
                tvTracks, {QString::number(title.number), QString::number(track.track.number),
                           fromUtf8(kavrel::formatDuration(track.track.seconds())),
                           formatText(track.track.format)});
            item->setCheckState(0, Qt::Checked);
            item->setData(0, kTitleRole, title.number);
            item->setData(0, kTrackRole, track.track.number);
        }
    }
    // A title set without a usable track table has no tracks to list; extracting the whole
    // disc writes its audio objects whole.
    for (const dvdaudio::DamagedTitleSet& set : disc->damaged)
        log("[re]" + kavrel::markupLiteral(set.problem + "; its tracks are not listed.") + "[/re]");
    audioDisc_ = std::move(disc);
    bExtractTracks->setEnabled(true);
    PageControl->setCurrentWidget(tsTracks);
}

void TfMain::bExtractTracksClick() {
    if (running() || !audioDisc_) return;
    dvdaudio::ExtractOptions options;
    options.format = cbTracksAsFlac->isChecked() ? dvdaudio::TrackFileFormat::Flac
                                                 : dvdaudio::TrackFileFormat::Wav;
    const int listed = tvTracks->topLevelItemCount();
    for (int i = 0; i < listed; ++i) {
        const QTreeWidgetItem* item = tvTracks->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            options.tracks.insert(
                {item->data(0, kTitleRole).toInt(), item->data(0, kTrackRole).toInt()});
    }
    const bool none = listed > 0 && options.tracks.empty();
    // Every track checked is the whole disc, with the title sets no track table lists.
    if (options.tracks.size() == static_cast<std::size_t>(listed)) options.tracks.clear();
    if (none) {
        log("[re]No track is checked.[/re]");
        showStatusPage();
        return;
    }
    // Beside the disc (in its folder, or the image's), or in the output folder when one is set.
    const std::filesystem::path source = audioDisc_->source;
    const bool folder = QFileInfo(kavrel::app::fromPath(source)).isDir();
    const bool audioTs =
        QFileInfo(kavrel::app::fromPath(source)).fileName().toUpper() == QStringLiteral("AUDIO_TS");
    options.folder = toPath(eWorkdir->text());
    if (options.folder.empty()) options.folder = folder && !audioTs ? source : source.parent_path();
    const std::shared_ptr<const dvdaudio::AudioDisc> disc = audioDisc_;

    // The run holds the window's controls as the other runs do; Cancel stops it.
    const std::array<QWidget*, 10> controls{bReadEVO, bReadXPL, bDemux,         bRebuild, bMakeMkv,
                                            bbEVO,    bbXPL,    bExtractTracks, cbTitle,  cbAngle};
    std::array<bool, 10> enabled{};
    for (std::size_t i = 0; i < controls.size(); ++i) {
        enabled[i] = controls[i]->isEnabled();
        controls[i]->setEnabled(false);
    }
    run_ = RunKind::Tracks;
    session_.stopRequest() = false;
    kavrel::RunState state(session_.stopRequest());  // Cancel stops it as it stops the others
    showProgress(0, 0);
    if (startWriting()) {
        const auto result = dvdaudio::extractTracks(*disc, options, state, host_);
        if (result.outcome == kavrel::RunOutcome::Failed) endFailedRun();
    }
    for (std::size_t i = 0; i < controls.size(); ++i) controls[i]->setEnabled(enabled[i]);
    setCancelEnabled(false);
    statusLine_->hideProgress();
    run_ = RunKind::None;
}
