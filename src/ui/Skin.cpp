#include "ui/Skin.h"

#include <QFile>
#include <QWidget>

namespace {
Skin* theSkin = nullptr;
}

Skin::Skin(QObject* owner) : QObject(owner) {
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
    QFile file(QStringLiteral(":/skin/skin.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void Skin::skinWindow(QWidget* window) {
    if (!window)
        return;
    window->setStyleSheet(styleSheet());
    window->setProperty("skinned", true);
}
