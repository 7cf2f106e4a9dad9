// The settings store: the options, the remembered folders and the window geometry, kept in the
// platform's per-user store (the registry key Software\Tormund Software\Kavrel on Windows).
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <algorithm>

#include "app/main_window.h"

namespace {

constexpr int kNormal = 0;
constexpr int kMinimised = 1;
constexpr int kMaximised = 2;
constexpr int kMinTreeWidth = 50;

const QString kOrganisation = QStringLiteral("Tormund Software");
const QString kApplication = QStringLiteral("Kavrel");

}  // namespace

bool TfMain::storedChanged(const QString& name, const QVariant& value) {
    auto found = seen_.find(name);
    if (found != seen_.end() && found->second == value) return false;
    seen_[name] = value;
    return true;
}

void TfMain::RegRead() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    // Nothing stored yet: every control keeps its design default.
    if (store.allKeys().isEmpty()) return;

    // Each value is applied only when it is stored, has its type, and differs from what this
    // window last read or wrote: an activation then never undoes the user's unsaved edits.
    auto readInt = [&](const QString& name, auto apply) {
        const QVariant stored = store.value(name);
        if (!stored.isValid()) return;
        bool ok = false;
        const int value = stored.toInt(&ok);
        if (ok && storedChanged(name, value)) apply(value);
    };
    auto readText = [&](const QString& name, auto apply) {
        const QVariant stored = store.value(name);
        if (!stored.isValid()) return;
        const QString value = stored.toString();
        if (storedChanged(name, value)) apply(value);
    };
    auto readBox = [&](const QString& name, QCheckBox* box) {
        readInt(name, [box](int value) { box->setChecked(value != 0); });
    };
    auto readRadio = [&](const QString& name, QRadioButton* radio) {
        readInt(name, [this, radio](int value) {
            if (value != 0) {
                radio->setChecked(true);
            } else if (radio->isChecked()) {
                rbNoAuto->setChecked(true);
            }
        });
    };

    // Size, then position, then state. The stored size is the outer one, frame included.
    const QSize frame = frameGeometry().size() - geometry().size();
    QSize size = frameGeometry().size();
    bool resized = false;
    readInt(QStringLiteral("Width"), [&](int value) {
        size.setWidth(value);
        resized = true;
    });
    readInt(QStringLiteral("Height"), [&](int value) {
        size.setHeight(value);
        resized = true;
    });
    if (resized) resize(size - frame);
    QPoint position = pos();
    bool moved = false;
    readInt(QStringLiteral("Top"), [&](int value) {
        position.setY(value);
        moved = true;
    });
    readInt(QStringLiteral("Left"), [&](int value) {
        position.setX(value);
        moved = true;
    });
    // A position on a screen that is no longer there would hide the window.
    if (moved && QGuiApplication::screenAt(position) != nullptr) move(position);
    readInt(QStringLiteral("WindowState"), [this](int value) {
        // A window closed while minimised opens normal: the user could not see it otherwise.
        if (value == kMaximised) {
            setWindowState(windowState() | Qt::WindowMaximized);
        } else {
            setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
        }
    });

    readInt(QStringLiteral("TreeWidth"), [this](int value) {
        treeWidth_ = std::max(value, kMinTreeWidth);
        const QList<int> sizes = splXPL->sizes();
        int total = 0;
        for (int part : sizes) total += part;
        splXPL->setSizes({treeWidth_, std::max(total - treeWidth_, kMinTreeWidth)});
    });
    readText(QStringLiteral("AudioExt"), [this](const QString& text) { eAudioExt->setText(text); });
    readText(QStringLiteral("VideoExt"), [this](const QString& text) { eVideoExt->setText(text); });
    readText(QStringLiteral("SubExt"), [this](const QString& text) { eSubExt->setText(text); });
    readText(QStringLiteral("Workdir"), [this](const QString& text) { eWorkdir->setText(text); });
    readText(QStringLiteral("EVOdir"), [this](const QString& text) { evoDir_ = text; });
    readText(QStringLiteral("XPLdir"), [this](const QString& text) { xplDir_ = text; });
    readBox(QStringLiteral("Continue"), cbContinue);
    readBox(QStringLiteral("FastCheck"), cbFastCheck);
    readBox(QStringLiteral("CountFrames"), cbCountFr);
    readBox(QStringLiteral("Details"), cbDetails);
    readBox(QStringLiteral("AutoRead"), cbAutoRead);
    readRadio(QStringLiteral("AutoDemux"), rbAutoDemux);
    readRadio(QStringLiteral("AutoRebuild"), rbAutoRebuild);
    readBox(QStringLiteral("AutoClear"), cbAutoClear);
    readBox(QStringLiteral("LpcmAsWav"), cbLpcmAsWav);
    readBox(QStringLiteral("WriteChapters"), cbWriteChapters);
}

void TfMain::RegWrite() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    auto write = [&](const QString& name, const QVariant& value) {
        store.setValue(name, value);
        seen_[name] = value;
    };
    auto writeBool = [&](const QString& name, bool on) { write(name, on ? 1 : 0); };

    const int state = isMaximized() ? kMaximised : isMinimized() ? kMinimised : kNormal;
    write(QStringLiteral("WindowState"), state);
    // A maximised window leaves the stored normal geometry for the next restore.
    if (state != kMaximised) {
        const QRect outer = frameGeometry();
        write(QStringLiteral("Top"), outer.top());
        write(QStringLiteral("Left"), outer.left());
        write(QStringLiteral("Width"), outer.width());
        write(QStringLiteral("Height"), outer.height());
    }
    write(QStringLiteral("TreeWidth"), treeWidth_);
    write(QStringLiteral("AudioExt"), eAudioExt->text());
    write(QStringLiteral("VideoExt"), eVideoExt->text());
    write(QStringLiteral("SubExt"), eSubExt->text());
    write(QStringLiteral("Workdir"), eWorkdir->text());
    write(QStringLiteral("EVOdir"), evoDir_);
    write(QStringLiteral("XPLdir"), xplDir_);
    writeBool(QStringLiteral("Continue"), cbContinue->isChecked());
    writeBool(QStringLiteral("FastCheck"), cbFastCheck->isChecked());
    writeBool(QStringLiteral("CountFrames"), cbCountFr->isChecked());
    writeBool(QStringLiteral("Details"), cbDetails->isChecked());
    writeBool(QStringLiteral("AutoRead"), cbAutoRead->isChecked());
    writeBool(QStringLiteral("AutoDemux"), rbAutoDemux->isChecked());
    writeBool(QStringLiteral("AutoRebuild"), rbAutoRebuild->isChecked());
    writeBool(QStringLiteral("AutoClear"), cbAutoClear->isChecked());
    writeBool(QStringLiteral("LpcmAsWav"), cbLpcmAsWav->isChecked());
    writeBool(QStringLiteral("WriteChapters"), cbWriteChapters->isChecked());
    store.sync();
}
