#pragma once

#include <QLabel>

// A label drawn in the skin's style. Captions are set with setText (the control's
// default property); the label keeps its caption, font and alignment when skinned.
class SkinLabel : public QLabel {
    Q_OBJECT
public:
    explicit SkinLabel(QWidget* parent = nullptr);

    // "MS Sans Serif" 8.25 point, regular: the labels' font, and the dialog font the
    // windows' layouts were drawn for.
    static QFont captionFont();
};
