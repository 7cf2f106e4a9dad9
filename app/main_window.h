#pragma once
// The program's only window: file choice, the stream check boxes, the options, the message log
// and status line, and the handlers that start the read, demux, rebuild and playlist runs.
#include <QMainWindow>
#include <QString>
#include <QVariant>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "app/message_log.h"
#include "app/status_line.h"
#include "app/window_host.h"
#include "engine/disc_title.h"
#include "engine/input_kind.h"
#include "engine/run_state.h"
#include "engine/runs.h"
#include "session/session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QTextEdit;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace kavrel::dvdaudio {
struct AudioDisc;
}

class TfMain : public QMainWindow {
    Q_OBJECT

  public:
    explicit TfMain(QWidget* parent = nullptr);
    ~TfMain() override;

    // The message log and the status line.
    void log(std::string_view markup);
    void slog(const QString& text, int panel);

    // The settings store.
    void RegRead();
    void RegWrite();

    // The files named on the command line: the first is taken as if dropped (an .AOB too), each
    // other one, or a file of an unknown type, is reported in the log.
    void openArguments(const QStringList& files);

    // The stream check boxes: all disabled and captioned as empty, checked state kept.
    void Resetcbs();
    // Derive the companion folders from a chosen input or playlist.
    void EVOadj();
    void XPLadj();

    // Event handlers.
    void bReadEVOClick();
    void bDemuxClick();
    void bRebuildClick();
    void bMakeMkvClick();
    void bReadXPLClick();
    void bCancelClick();
    void bClearClick();
    void bbEVOClick();
    void bbXPLClick();
    void bbWorkdirClick();
    void cbVideoClick();
    // Writes the checked tracks of the DVD-Audio disc on the Tracks page.
    void bExtractTracksClick();

    // The dialogs, replaceable so that tests never wait on a modal window. Each returns the
    // chosen path, or an empty text when the user cancelled.
    std::function<QString(const QString& folder)> chooseInputFile;
    std::function<QString(const QString& folder, const QString& fileName)> choosePlaylistFile;
    std::function<QString(const QString& start)> chooseFolder;
    // "Are you sure to stop demuxing?": true for Yes.
    std::function<bool()> confirmStop;

    // Used by the engine host.
    void showProgress(uint64_t position, uint64_t size);
    void setCancelEnabled(bool enabled);

    const kavrel::StreamFindings& runState() const { return session_.findings(); }
    bool running() const { return run_ != RunKind::None; }
    QString inputFolder() const { return evoDir_; }
    QString playlistFolder() const { return xplDir_; }

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    enum class RunKind { None, Read, Demux, Rebuild, Mkv, Playlist, Tracks };
    class RunScope;

    void buildControls();
    QWidget* buildStatusPage();
    QWidget* buildStreamPage(const QString& prefix, std::span<QCheckBox*> boxes,
                             const QString& caption);
    QWidget* buildPlaylistPage();
    QWidget* buildOptionsPage();
    QWidget* buildTracksPage();
    // A DVD-Audio disc (folder or image) given: its tracks on the Tracks page.
    void audioDiscChosen(const QString& path);
    void connectHandlers();
    void installDefaultDialogs();

    void FormActivate();
    void FormResize();
    // A program-stream file, or a disc with its titles, becomes the input.
    void inputChosen(const QString& path, std::vector<kavrel::DiscTitle> titles = {});
    // A disc (folder, image or one of its IFO files) given: a DVD-Audio disc onto the Tracks
    // page, a DVD-Video or HD DVD disc into the title box; false when path is no disc.
    bool openDisc(const QString& path);
    // The title box lists the disc's titles; hidden for a plain file.
    void showTitles();
    void titleChosen();
    // The angle box offers the chosen title's angles, the first chosen; hidden for one.
    void showAngles();
    void angleChosen();
    // The number of the chosen title; none for a plain file.
    std::optional<int> chosenTitle() const;
    // The kind of what is read: the chosen title's first packs, or the input file's.
    kavrel::InputKind inputKind() const;
    void playlistChosen(const QString& path);
    void droppedFile(const QString& path);
    // Takes an input or a playlist by its extension; false for a file of any other type.
    bool openFile(const QString& path, bool takeAob);
    // The size the window opens at: every tab, the whole status line during a run and the
    // progress bar visible, within the screen.
    QSize firstSize() const;
    void showStatusPage();
    // Widens the playlist tree, up to half the page, so that its entries can be read.
    void fitPlaylistTree();
    // Makes the output folder when it is missing, as kavrel-cli does; false (logged) when it
    // cannot be used.
    bool prepareOutputFolder();
    // The start of a run that writes, inside its RunScope: the Status page, and the output
    // folder made; false, with the run ended as failed, when the folder cannot be made.
    bool startWriting();

    QCheckBox* slotBox(int slot) const;
    std::array<bool, kavrel::kSlotCount> selectedSlots() const;
    bool anySelected() const;
    kavrel::RunOptions runOptions() const;
    // The file-name parts of the checked boxes' captions, by slot (empty when unchecked).
    std::array<std::string, kavrel::kSlotCount> checkedCaptions(
        const kavrel::RunOptions& options) const;
    QString inputPath() const;
    std::filesystem::path playlistPath() const;
    void offerFoundStreams();
    // Opens the input with the controls' choices (title, follow-on file, playlist) in the
    // session; false, with the reason logged, when it cannot be opened.
    bool openSession();
    // The read run with its offer; the lists then belong to the current input.
    kavrel::RunOutcome readInput();
    // Runs the read first when the session's stream lists are not those of its title (after
    // openSession); false when there is then nothing to write.
    bool readBeforeWriting();
    bool askToStop();
    // Calls a run, turning an exception that escapes it into a logged failure.
    kavrel::RunOutcome guarded(const std::function<kavrel::RunOutcome()>& run);
    void endFailedRun();

    // Settings helpers.
    struct SettingsTable;
    bool storedChanged(const QString& name, const QVariant& value);
    void applyTreeWidth(int width);
    void applyGeometry(std::optional<int> width, std::optional<int> height, std::optional<int> top,
                       std::optional<int> left, std::optional<int> state);
    void fitFrameToStoredSize();

    // Controls, named as the user-facing design names them.
    QLineEdit* eEVOfile = nullptr;
    QToolButton* bbEVO = nullptr;
    QLabel* lTitle = nullptr;
    QComboBox* cbTitle = nullptr;  // the disc's titles; hidden when the input is a plain file
    QLabel* lAngle = nullptr;
    QComboBox* cbAngle = nullptr;  // the chosen title's angles; shown only when it has several
    QPushButton* bReadEVO = nullptr;
    QLineEdit* eXPLfile = nullptr;
    QToolButton* bbXPL = nullptr;
    QPushButton* bReadXPL = nullptr;
    QPushButton* bDemux = nullptr;
    QPushButton* bRebuild = nullptr;
    QPushButton* bMakeMkv = nullptr;  // shown only where mkvmerge is installed
    QPushButton* bCancel = nullptr;
    QTabWidget* PageControl = nullptr;
    QWidget* tsStatus = nullptr;
    QWidget* tsVideo = nullptr;
    QWidget* tsAudio = nullptr;
    QWidget* tsSubpicture = nullptr;
    QWidget* tsXPL = nullptr;
    QWidget* tsOption = nullptr;
    QTextEdit* reMessage = nullptr;
    QPushButton* bClear = nullptr;
    QCheckBox* cbAutoClear = nullptr;
    std::array<QCheckBox*, 8> cbVideo{};  // only 0 and 1 are ever offered
    std::array<QCheckBox*, 16> cbAudio{};
    std::array<QCheckBox*, 16> cbSub{};
    QTreeWidget* tvXPL = nullptr;
    QSplitter* splXPL = nullptr;
    QPlainTextEdit* mXPL = nullptr;
    QLineEdit* eVideoExt = nullptr;
    QLineEdit* eAudioExt = nullptr;
    QLineEdit* eSubExt = nullptr;
    QLineEdit* eWorkdir = nullptr;
    QToolButton* bbWorkdir = nullptr;
    QRadioButton* rbAutoDemux = nullptr;
    QRadioButton* rbAutoRebuild = nullptr;
    QRadioButton* rbNoAuto = nullptr;
    QCheckBox* cbContinue = nullptr;
    QCheckBox* cbFastCheck = nullptr;
    QCheckBox* cbCountFr = nullptr;
    QCheckBox* cbDetails = nullptr;
    QCheckBox* cbAutoRead = nullptr;
    QCheckBox* cbLpcmAsWav = nullptr;
    QCheckBox* cbWriteChapters = nullptr;
    QCheckBox* cbSubsAsPgs = nullptr;
    // The boxes of the output forms, in the order outputForms() lists them.
    std::vector<QCheckBox*> formBoxes;
    QCheckBox* formBox(std::string_view settingsKey) const;
    QCheckBox* cbTracksAsFlac = nullptr;
    QWidget* tsTracks = nullptr;
    QTreeWidget* tvTracks = nullptr;
    QPushButton* bExtractTracks = nullptr;
    QWidget* logoStrip = nullptr;
    QWidget* imLogo = nullptr;

    std::unique_ptr<kavrel::app::MessageLog> messageLog_;
    std::unique_ptr<kavrel::app::StatusLine> statusLine_;
    kavrel::app::WindowHost host_{*this};
    kavrel::session::Session session_;
    RunKind run_ = RunKind::None;
    std::shared_ptr<const kavrel::dvdaudio::AudioDisc> audioDisc_;  // the Tracks page's disc
    std::vector<kavrel::DiscTitle> discTitles_;  // the input disc's titles; empty for a file

    // Window-level strings beside the controls.
    QString evoDir_;   // folder of the input, with its trailing separator
    QString xplDir_;   // folder of the playlist, with its trailing separator
    QString xplName_;  // playlist file name
    int treeWidth_ = 96;
    // The boxes hold what a read or a playlist offered; an activation must not wipe that.
    bool offered_ = false;
    // The stream key of the track a playlist offered in each box (-1: none offered one).
    std::array<int32_t, kavrel::kSlotCount> offerKeys_{};
    // What the last RegRead or RegWrite saw in the store, so that a later activation applies
    // only values changed from outside and never undoes the user's own edits.
    std::map<QString, QVariant> seen_;
    // The outer size RegRead applied before the window's frame was known, and whether the
    // frame has been taken off it since.
    QSize storedOuterSize_;
    bool frameFitted_ = true;
};
