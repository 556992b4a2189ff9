#include "ui/SkinLabel.h"

#include <QFont>

SkinLabel::SkinLabel(QWidget* parent) : QLabel(parent) {
    // Labels are drawn in "MS Sans Serif" 8.25 point, regular, left-aligned; windows
    // may give a label another size or alignment. Captions are plain text: they come
    // from editable language files and are never read as markup.
    QFont labelFont(QStringLiteral("MS Sans Serif"));
    labelFont.setPointSizeF(8.25);
    labelFont.setWeight(QFont::Normal);
    setFont(labelFont);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}
