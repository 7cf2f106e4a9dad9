// The settings store: the options, the remembered folders and the window geometry, kept in the
// platform's per-user store (the registry key Software\Tormund Software\Kavrel on Windows).
// RegRead and RegWrite both walk one table of the stored values.
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <algorithm>
#include <variant>
#include <vector>

#include "app/main_window.h"
#include "engine/output_forms.h"

namespace {

constexpr int kNormal = 0;
constexpr int kMinimised = 1;
constexpr int kMaximised = 2;
constexpr int kMinTreeWidth = 50;

const QString kOrganisation = QStringLiteral("Tormund Software");
const QString kApplication = QStringLiteral("Kavrel");

// The values that are not a control's own: the outer geometry, the window state, the width of
// the playlist tree.
enum class WindowValue { Width, Height, Top, Left, State, TreeWidth };

}  // namespace

// One row per stored value, in the order RegRead applies them (size before position, position
// before state). A check box, edit field, radio button or remembered folder is one row.
struct TfMain::SettingsTable {
    using Target = std::variant<WindowValue, QLineEdit*, QString*, QCheckBox*, QRadioButton*>;
    struct Row {
        QString name;
        Target target;
    };

    static std::vector<Row> rows(TfMain& w) {
        std::vector<Row> table{
            {QStringLiteral("Width"), WindowValue::Width},
            {QStringLiteral("Height"), WindowValue::Height},
            {QStringLiteral("Top"), WindowValue::Top},
            {QStringLiteral("Left"), WindowValue::Left},
            {QStringLiteral("WindowState"), WindowValue::State},
            {QStringLiteral("TreeWidth"), WindowValue::TreeWidth},
            {QStringLiteral("AudioExt"), w.eAudioExt},
            {QStringLiteral("VideoExt"), w.eVideoExt},
            {QStringLiteral("SubExt"), w.eSubExt},
            {QStringLiteral("Workdir"), w.eWorkdir},
            {QStringLiteral("EVOdir"), &w.evoDir_},
            {QStringLiteral("XPLdir"), &w.xplDir_},
            {QStringLiteral("Continue"), w.cbContinue},
            {QStringLiteral("FastCheck"), w.cbFastCheck},
            {QStringLiteral("CountFrames"), w.cbCountFr},
            {QStringLiteral("Details"), w.cbDetails},
            {QStringLiteral("AutoRead"), w.cbAutoRead},
            {QStringLiteral("AutoDemux"), w.rbAutoDemux},
            {QStringLiteral("AutoRebuild"), w.rbAutoRebuild},
            {QStringLiteral("AutoClear"), w.cbAutoClear},
            {QStringLiteral("WriteChapters"), w.cbWriteChapters},
            {QStringLiteral("TracksAsFlac"), w.cbTracksAsFlac},
        };
        // One stored value per output form, under the form's own key.
        const auto forms = kavrel::outputForms();
        for (std::size_t i = 0; i < forms.size() && i < w.formBoxes.size(); ++i)
            table.push_back({QString::fromUtf8(forms[i].settingsKey), w.formBoxes[i]});
        return table;
    }
};

bool TfMain::storedChanged(const QString& name, const QVariant& value) {
    auto found = seen_.find(name);
    if (found != seen_.end() && found->second == value) return false;
    seen_[name] = value;
    return true;
}

namespace {

// The geometry values read from the store, applied together once all are read.
struct StoredGeometry {
    std::optional<int> width, height, top, left, state;
};

}  // namespace

void TfMain::RegRead() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    // Nothing stored yet: every control keeps its design default.
    if (store.allKeys().isEmpty()) return;

    // Each value is applied only when it is stored, has its type, and differs from what this
    // window last read or wrote: an activation then never undoes the user's unsaved edits.
    auto changedInt = [&](const QString& name) -> std::optional<int> {
        const QVariant stored = store.value(name);
        if (!stored.isValid()) return std::nullopt;
        bool ok = false;
        const int value = stored.toInt(&ok);
        if (!ok || !storedChanged(name, value)) return std::nullopt;
        return value;
    };
    auto changedText = [&](const QString& name) -> std::optional<QString> {
        const QVariant stored = store.value(name);
        if (!stored.isValid()) return std::nullopt;
        const QString value = stored.toString();
        if (!storedChanged(name, value)) return std::nullopt;
        return value;
    };

    StoredGeometry geometry;
    for (const SettingsTable::Row& row : SettingsTable::rows(*this)) {
        std::visit(
            [&](auto target) {
                using T = decltype(target);
                if constexpr (std::is_same_v<T, WindowValue>) {
                    const std::optional<int> value = changedInt(row.name);
                    if (!value) return;
                    switch (target) {
                        case WindowValue::Width:
                            geometry.width = value;
                            break;
                        case WindowValue::Height:
                            geometry.height = value;
                            break;
                        case WindowValue::Top:
                            geometry.top = value;
                            break;
                        case WindowValue::Left:
                            geometry.left = value;
                            break;
                        case WindowValue::State:
                            geometry.state = value;
                            break;
                        case WindowValue::TreeWidth:
                            applyTreeWidth(*value);
                            break;
                    }
                } else if constexpr (std::is_same_v<T, QLineEdit*>) {
                    if (auto text = changedText(row.name)) target->setText(*text);
                } else if constexpr (std::is_same_v<T, QString*>) {
                    if (auto text = changedText(row.name)) *target = *text;
                } else if constexpr (std::is_same_v<T, QCheckBox*>) {
                    if (auto value = changedInt(row.name)) target->setChecked(*value != 0);
                } else {  // QRadioButton*
                    if (auto value = changedInt(row.name)) {
                        if (*value != 0) {
                            target->setChecked(true);
                        } else if (target->isChecked()) {
                            rbNoAuto->setChecked(true);
                        }
                    }
                }
            },
            row.target);
    }
    applyGeometry(geometry.width, geometry.height, geometry.top, geometry.left, geometry.state);
}

void TfMain::applyTreeWidth(int width) {
    treeWidth_ = std::max(width, kMinTreeWidth);
    const QList<int> sizes = splXPL->sizes();
    int total = 0;
    for (int part : sizes) total += part;
    splXPL->setSizes({treeWidth_, std::max(total - treeWidth_, kMinTreeWidth)});
}

void TfMain::applyGeometry(std::optional<int> width, std::optional<int> height,
                           std::optional<int> top, std::optional<int> left,
                           std::optional<int> state) {
    // The stored size is the outer one, frame included. Before the window is first shown its
    // frame is not known yet: the frame is taken off once it is (fitFrameToStoredSize).
    if (width || height) {
        const QSize frame = frameGeometry().size() - geometry().size();
        QSize outer = frameGeometry().size();
        if (width) outer.setWidth(*width);
        if (height) outer.setHeight(*height);
        resize(outer - frame);
        storedOuterSize_ = outer;
        frameFitted_ = !frame.isNull();
    }
    if (top || left) {
        QPoint position = pos();
        if (top) position.setY(*top);
        if (left) position.setX(*left);
        // A position on a screen that is no longer there would hide the window.
        if (QGuiApplication::screenAt(position) != nullptr) move(position);
    }
    if (state) {
        // A window closed while minimised opens normal: the user could not see it otherwise.
        if (*state == kMaximised) {
            setWindowState(windowState() | Qt::WindowMaximized);
        } else {
            setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
        }
    }
}

void TfMain::fitFrameToStoredSize() {
    if (frameFitted_ || !storedOuterSize_.isValid()) return;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.isNull()) return;  // no frame (yet)
    frameFitted_ = true;
    // Only a size still as it was stored: never one the user has changed since.
    if (size() == storedOuterSize_ && !isMaximized()) resize(storedOuterSize_ - frame);
}

void TfMain::RegWrite() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    auto write = [&](const QString& name, const QVariant& value) {
        store.setValue(name, value);
        seen_[name] = value;
    };

    const int state = isMaximized() ? kMaximised : isMinimized() ? kMinimised : kNormal;
    const QRect outer = frameGeometry();
    for (const SettingsTable::Row& row : SettingsTable::rows(*this)) {
        std::visit(
            [&](auto target) {
                using T = decltype(target);
                if constexpr (std::is_same_v<T, WindowValue>) {
                    // A maximised window leaves the stored normal geometry for the next restore.
                    const bool normalGeometry = state != kMaximised;
                    switch (target) {
                        case WindowValue::Width:
                            if (normalGeometry) write(row.name, outer.width());
                            break;
                        case WindowValue::Height:
                            if (normalGeometry) write(row.name, outer.height());
                            break;
                        case WindowValue::Top:
                            if (normalGeometry) write(row.name, outer.top());
                            break;
                        case WindowValue::Left:
                            if (normalGeometry) write(row.name, outer.left());
                            break;
                        case WindowValue::State:
                            write(row.name, state);
                            break;
                        case WindowValue::TreeWidth:
                            write(row.name, treeWidth_);
                            break;
                    }
                } else if constexpr (std::is_same_v<T, QLineEdit*>) {
                    write(row.name, target->text());
                } else if constexpr (std::is_same_v<T, QString*>) {
                    write(row.name, *target);
                } else {  // a check box or radio button: a boolean stored as 0 or 1
                    write(row.name, target->isChecked() ? 1 : 0);
                }
            },
            row.target);
    }
    store.sync();
}
