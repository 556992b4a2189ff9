#include "ui/Skin.h"

#include "ui/SkinLabel.h"

#include <QColor>
#include <QCursor>
#include <QFile>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QWidget>

// The skin's resources live in the static library; registering them here keeps the
// linker from dropping them when nothing else names them.
static void registerSkinResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(korvani);
        return true;
    }();
    (void)registered;
}

namespace {
Skin* theSkin = nullptr;

// The skin-wide colours.
constexpr QColor BackColor(255, 255, 255);
constexpr QColor ForeColor(0, 0, 0);
constexpr QColor PanelColor(235, 235, 235);
constexpr QColor PanelTextColor(0, 0, 0);
} // namespace

Skin::Skin(QObject* owner) : QObject(owner) {
    registerSkinResources();
    setObjectName(QStringLiteral("Skin"));
    theSkin = this;
}

Skin::~Skin() {
    if (theSkin == this)
        theSkin = nullptr;
}

Skin* Skin::instance() {
    return theSkin;
}

QString Skin::styleSheet() {
    registerSkinResources();
    static const QString sheet = [] {
        QFile file(QStringLiteral(":/skin/skin.qss"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }();
    return sheet;
}

QPixmap Skin::programPicture() {
    registerSkinResources();
    return QPixmap(QStringLiteral(":/icons/korvani.png"));
}

QIcon Skin::programIcon() {
    return QIcon(programPicture());
}

QCursor Skin::linkCursor() {
    registerSkinResources();
    return QCursor(QPixmap(QStringLiteral(":/icons/hand.png")), 6, 0);
}

void Skin::skinWindow(QWidget* window) {
    if (!window)
        return;
    // Every control is drawn in the dialog font the layouts were made for, so that
    // captions fit their fixed places. Fonts a window sets on a control stay.
    window->setFont(SkinLabel::captionFont());
    const QString sheet = styleSheet();
    if (sheet.isEmpty())
        return; // the window stays unskinned
    // The client area is skinned too: white under black text, grey panels.
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, BackColor);
    palette.setColor(QPalette::WindowText, ForeColor);
    palette.setColor(QPalette::Base, BackColor);
    palette.setColor(QPalette::Text, ForeColor);
    palette.setColor(QPalette::Button, PanelColor);
    palette.setColor(QPalette::ButtonText, PanelTextColor);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setStyleSheet(sheet);
    window->setProperty("skinned", true);
}
