// The window's controls: their kinds, captions, hints, defaults and layout.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/logo.h"
#include "app/main_window.h"
#include "engine/output_forms.h"
#include "mux/mkvmerge.h"

namespace {

// A hint "short|long" shows its first half as the tool tip.
void setHint(QWidget* widget, const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    if (bar < 0) {
        widget->setToolTip(hint);
        return;
    }
    // The long half goes to "What's this": as a status tip it would cover the status panels
    // whenever the mouse rests on the control, also during a run.
    widget->setToolTip(hint.left(bar));
    widget->setWhatsThis(hint.mid(bar + 1));
}

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QToolButton* bitmapButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                          const QString& hint) {
    auto* button = named(new QToolButton(parent), name);
    button->setIcon(parent->style()->standardIcon(icon));
    setHint(button, hint);
    return button;
}

// Captions carry a mnemonic ("&Demux" is pressed with Alt+D).
QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* result = named(new QPushButton(caption, parent), name);
    result->setEnabled(false);
    return result;
}

QLineEdit* extensionEdit(QWidget* parent, const char* name, const QString& text) {
    auto* edit = named(new QLineEdit(text, parent), name);
    edit->setMaxLength(5);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("MMMMM")) + 12);
    return edit;
}

QCheckBox* option(QWidget* parent, const char* name, const QString& caption, const QString& hint) {
    auto* box = named(new QCheckBox(caption, parent), name);
    box->setChecked(true);
    setHint(box, hint);
    return box;
}

}  // namespace

void TfMain::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnMain"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setSpacing(4);

    // The input row.
    auto* inputRow = new QHBoxLayout;
    eEVOfile = named(new QLineEdit(central), "eEVOfile");
    eEVOfile->setReadOnly(true);
    setHint(eEVOfile,
            QStringLiteral("Drop here the source EVO file|You cannot write here directly"));
    bbEVO = bitmapButton(central, "bbEVO", QStyle::SP_DialogOpenButton,
                         QStringLiteral("Browse an EVO file"));
    bbEVO->setShortcut(QKeySequence::Open);
    bReadEVO = button(central, "bReadEVO", QStringLiteral("&Read EVO"));
    bReadEVO->setDefault(true);
    // The titles of a disc given as the input; shown only then.
    lTitle = named(new QLabel(QStringLiteral("Title:"), central), "lTitle");
    cbTitle = named(new QComboBox(central), "cbTitle");
    // A title of many languages must not widen the window: the box keeps a width of its own and
    // its list opens as wide as its entries (see showTitles).
    cbTitle->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbTitle->setMinimumContentsLength(24);
    lTitle->setBuddy(cbTitle);
    lTitle->hide();
    cbTitle->hide();
    lAngle = named(new QLabel(QStringLiteral("Angle:"), central), "lAngle");
    cbAngle = named(new QComboBox(central), "cbAngle");
    lAngle->setBuddy(cbAngle);
    lAngle->hide();
    cbAngle->hide();
    inputRow->addWidget(eEVOfile, 1);
    inputRow->addWidget(bbEVO);
    inputRow->addWidget(lTitle);
    inputRow->addWidget(cbTitle);
    inputRow->addWidget(lAngle);
    inputRow->addWidget(cbAngle);
    inputRow->addWidget(bReadEVO);
    layout->addLayout(inputRow);

    // The playlist row.
    auto* playlistRow = new QHBoxLayout;
    eXPLfile = named(new QLineEdit(QStringLiteral("VPLST000.XPL"), central), "eXPLfile");
    eXPLfile->setReadOnly(true);
    bbXPL = bitmapButton(central, "bbXPL", QStyle::SP_FileDialogContentsView,
                         QStringLiteral("Browse the HD DVD disc's VPLST000.XPL"));
    bReadXPL = button(central, "bReadXPL", QStringLiteral("Read &XPL"));
    playlistRow->addWidget(eXPLfile, 1);
    playlistRow->addWidget(bbXPL);
    playlistRow->addWidget(bReadXPL);
    layout->addLayout(playlistRow);

    // The run buttons.
    auto* runRow = new QHBoxLayout;
    bDemux = button(central, "bDemux", QStringLiteral("&Demux"));
    QFont bold = bDemux->font();
    bold.setBold(true);
    bDemux->setFont(bold);
    bRebuild = button(central, "bRebuild", QStringLiteral("Re&build"));
    bMakeMkv = button(central, "bMakeMkv", QStringLiteral("Make &MKV"));
    setHint(bMakeMkv, QStringLiteral("Demux the chosen streams and join them with mkvmerge into "
                                     "one Matroska file, with the playlist's languages, names "
                                     "and chapters"));
    // Offered only where mkvmerge is installed: it makes the Matroska file.
    bMakeMkv->setVisible(!kavrel::mux::findProgram(kavrel::mux::kMkvmerge).empty());
    bCancel = button(central, "bCancel", QStringLiteral("&Cancel"));
    setHint(bCancel, QStringLiteral("You can stop the actual process"));
    runRow->addWidget(bDemux);
    runRow->addWidget(bRebuild);
    runRow->addWidget(bMakeMkv);
    runRow->addWidget(bCancel);
    runRow->addStretch(1);
    layout->addLayout(runRow);

    PageControl = named(new QTabWidget(central), "PageControl");
    // The window opens wide enough for every tab (see firstSize); a narrower one scrolls them.
    tsStatus = named(buildStatusPage(), "tsStatus");
    tsVideo =
        named(buildStreamPage(QStringLiteral("cbVideo%1"), cbVideo, QStringLiteral("Video stream")),
              "tsVideo");
    tsAudio =
        named(buildStreamPage(QStringLiteral("cbAudio%1"), cbAudio, QStringLiteral("Audio stream")),
              "tsAudio");
    tsSubpicture =
        named(buildStreamPage(QStringLiteral("cbSub%1"), cbSub, QStringLiteral("Subpicture")),
              "tsSubpicture");
    tsXPL = named(buildPlaylistPage(), "tsXPL");
    tsOption = named(buildOptionsPage(), "tsOption");
    PageControl->addTab(tsStatus, QStringLiteral("Status"));
    PageControl->addTab(tsVideo, QStringLiteral("Video"));
    PageControl->addTab(tsAudio, QStringLiteral("Audio"));
    PageControl->addTab(tsSubpicture, QStringLiteral("Subpicture"));
    PageControl->addTab(tsXPL, QStringLiteral("XPL"));
    PageControl->addTab(tsOption, QStringLiteral("Options"));
    tsTracks = named(buildTracksPage(), "tsTracks");
    PageControl->addTab(tsTracks, QStringLiteral("Tracks"));
    layout->addWidget(PageControl, 1);

    // The logo sits in a strip along the bottom; FormResize places it.
    logoStrip = new QWidget(central);
    logoStrip->setObjectName(QStringLiteral("pnLogo"));
    logoStrip->setFixedHeight(kavrel::app::kLogoHeight + 4);
    imLogo = named(new kavrel::app::LogoView(logoStrip), "imLogo");
    imLogo->setFixedSize(kavrel::app::kLogoWidth, kavrel::app::kLogoHeight);
    layout->addWidget(logoStrip);
    setCentralWidget(central);

    auto* bar = named(new QStatusBar(this), "StatusBar");
    setStatusBar(bar);
    statusLine_ = std::make_unique<kavrel::app::StatusLine>(bar);
    messageLog_ = std::make_unique<kavrel::app::MessageLog>(reMessage);
}

QWidget* TfMain::buildStatusPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    reMessage = named(new QTextEdit(page), "reMessage");
    reMessage->setReadOnly(true);
    // Long lines (paths above all) wrap, so that every message is read from its start.
    reMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    reMessage->setLineWrapMode(QTextEdit::WidgetWidth);
    reMessage->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(kavrel::app::MessageLog::kDefaultPointSize);
    reMessage->setFont(font);
    layout->addWidget(reMessage, 1);

    auto* row = new QHBoxLayout;
    bClear = named(new QPushButton(QStringLiteral("C&lear"), page), "bClear");
    cbAutoClear = named(new QCheckBox(QStringLiteral("Auto clear"), page), "cbAutoClear");
    row->addWidget(bClear);
    row->addWidget(cbAutoClear);
    row->addStretch(1);
    layout->addLayout(row);
    return page;
}

QWidget* TfMain::buildStreamPage(const QString& pattern, std::span<QCheckBox*> boxes,
                                 const QString& caption) {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    // Eight to a column; audio and subpicture numbers are written with two digits.
    const int digits = boxes.size() > 10 ? 2 : 1;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const int number = static_cast<int>(i);
        auto* box = new QCheckBox(caption, page);
        box->setObjectName(pattern.arg(number, digits, 10, QLatin1Char('0')));
        box->setEnabled(false);
        grid->addWidget(box, number % 8, number / 8);
        boxes[i] = box;
    }
    grid->setRowStretch(8, 1);
    return page;
}

QWidget* TfMain::buildPlaylistPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    splXPL = named(new QSplitter(Qt::Horizontal, page), "splXPL");
    splXPL->setChildrenCollapsible(false);
    tvXPL = named(new QTreeWidget(splXPL), "tvXPL");
    tvXPL->setHeaderHidden(true);
    tvXPL->setMinimumWidth(50);
    // Entries keep their whole text; a narrow tree scrolls sideways instead of cutting them.
    tvXPL->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tvXPL->header()->setStretchLastSection(false);
    mXPL = named(new QPlainTextEdit(splXPL), "mXPL");
    mXPL->setReadOnly(true);
    mXPL->setLineWrapMode(QPlainTextEdit::NoWrap);
    mXPL->setMinimumWidth(50);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::Monospace);
    mXPL->setFont(courier);
    splXPL->addWidget(tvXPL);
    splXPL->addWidget(mXPL);
    // The tree keeps its width when the window grows; the memo takes the rest.
    splXPL->setStretchFactor(0, 0);
    splXPL->setStretchFactor(1, 1);
    splXPL->setSizes({treeWidth_, 1000});
    layout->addWidget(splXPL, 1);
    return page;
}

QWidget* TfMain::buildOptionsPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);

    auto* extensions = new QHBoxLayout;
    eVideoExt = extensionEdit(page, "eVideoExt", QStringLiteral("mpv"));
    eAudioExt = extensionEdit(page, "eAudioExt", QStringLiteral("mpa"));
    eSubExt = extensionEdit(page, "eSubExt", QStringLiteral("sup"));
    setHint(eSubExt, QStringLiteral("This is real .sup format, don't change!"));
    extensions->addWidget(named(new QLabel(QStringLiteral("Video"), page), "lVideoExt"));
    extensions->addWidget(eVideoExt);
    extensions->addWidget(named(new QLabel(QStringLiteral("Audio"), page), "lAudioExt"));
    extensions->addWidget(eAudioExt);
    extensions->addWidget(named(new QLabel(QStringLiteral("Subpicture"), page), "lSubExt"));
    extensions->addWidget(eSubExt);
    extensions->addStretch(1);
    layout->addLayout(extensions);

    auto* workdirRow = new QHBoxLayout;
    eWorkdir = named(new QLineEdit(page), "eWorkdir");
    bbWorkdir = bitmapButton(page, "bbWorkdir", QStyle::SP_DirOpenIcon,
                             QStringLiteral("Destination directory for the demuxed streams"));
    workdirRow->addWidget(named(new QLabel(QStringLiteral("Output"), page), "lWorkdir"));
    workdirRow->addWidget(eWorkdir, 1);
    workdirRow->addWidget(bbWorkdir);
    layout->addLayout(workdirRow);

    // The read options on the left, what follows a read on the right.
    auto* columns = new QGridLayout;
    columns->setVerticalSpacing(2);
    cbContinue = option(
        page, "cbContinue", QStringLiteral("Continue with second  EVO"),
        QStringLiteral(
            "Demux continues with FEATURE_2.EVO (if it exists) after finishing FEATURE_1.EVO"));
    cbFastCheck = option(page, "cbFastCheck", QStringLiteral("Fast EVO checking"),
                         QStringLiteral("Read EVO checks only the first ~300 MB of the file"));
    cbCountFr =
        option(page, "cbCountFr", QStringLiteral("Count frames"),
               QStringLiteral("Works only if the process hasn't cancelled by Fast EVO checking"));
    cbDetails = option(page, "cbDetails", QStringLiteral("Detailed info"),
                       QStringLiteral("Detailed information about streams"));
    cbAutoRead = option(page, "cbAutoRead", QStringLiteral("Auto read"),
                        QStringLiteral("Read the file automatically after browse"));
    cbWriteChapters =
        option(page, "cbWriteChapters", QStringLiteral("Write chapters"),
               QStringLiteral("Demux also writes the chapters of the input's title in the playlist "
                              "as a Matroska chapter file (.chapters.xml)"));
    cbWriteChapters->setChecked(false);  // a new output is asked for, never made unasked
    // One box per output form, as the forms list them.
    formBoxes.clear();
    for (const kavrel::OutputForm& form : kavrel::outputForms()) {
        const std::string name = std::string("cb") + form.settingsKey;
        QCheckBox* box = option(page, name.c_str(), QString::fromUtf8(form.label),
                                QString::fromUtf8(form.toolTip));
        box->setChecked(false);  // a new output form is asked for, never made unasked
        formBoxes.push_back(box);
    }
    cbLpcmAsWav = formBox("LpcmAsWav");
    cbSubsAsPgs = formBox("SubsAsPgs");
    cbTracksAsFlac = option(page, "cbTracksAsFlac", QStringLiteral("Tracks as FLAC"),
                            QStringLiteral("Extract tracks writes the tracks of a DVD-Audio disc "
                                           "as FLAC files instead of WAV"));
    cbTracksAsFlac->setChecked(false);
    int row = 0;
    for (QCheckBox* box :
         {cbContinue, cbFastCheck, cbCountFr, cbDetails, cbAutoRead, cbWriteChapters}) {
        columns->addWidget(box, row++, 0);
    }
    for (QCheckBox* box : formBoxes) columns->addWidget(box, row++, 0);
    columns->addWidget(cbTracksAsFlac, row++, 0);

    auto* autoGroup = new QButtonGroup(page);
    rbAutoDemux = named(new QRadioButton(QStringLiteral("Auto Demux"), page), "rbAutoDemux");
    rbAutoRebuild = named(new QRadioButton(QStringLiteral("Auto Rebuild"), page), "rbAutoRebuild");
    rbNoAuto = named(new QRadioButton(QStringLiteral("No auto process"), page), "rbNoAuto");
    row = 0;
    for (QRadioButton* radio : {rbAutoDemux, rbAutoRebuild, rbNoAuto}) {
        autoGroup->addButton(radio);
        columns->addWidget(radio, row++, 1);
    }
    rbNoAuto->setChecked(true);
    layout->addLayout(columns);
    layout->addStretch(1);
    return page;
}
