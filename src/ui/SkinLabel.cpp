#include "ui/SkinLabel.h"

#include <QFont>

namespace {
// "MS Sans Serif" is a Windows face; where it is missing, a narrow sans-serif face of
// similar width stands in, so that captions fit their labels as they were laid out.
void addFaceSubstitutes() {
    static const bool added = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                    QStringLiteral("Liberation Sans"),
                                    QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
        return true;
    }();
    (void)added;
}
} // namespace

QFont SkinLabel::captionFont() {
    addFaceSubstitutes();
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    return font;
}

SkinLabel::SkinLabel(QWidget* parent) : QLabel(parent) {
    // Labels are drawn in the caption font, left-aligned; windows may give a label
    // another size or alignment. Captions are plain text: they come from editable
    // language files and are never read as markup.
    setFont(captionFont());
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}
