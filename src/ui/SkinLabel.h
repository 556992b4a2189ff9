#pragma once

#include <QLabel>

// A label drawn in the skin's style. Captions are set with setText (the control's
// default property); the label keeps its caption, font and alignment when skinned.
class SkinLabel : public QLabel {
    Q_OBJECT
public:
    explicit SkinLabel(QWidget* parent = nullptr);
};
