#include "ui/SkinLabel.h"

SkinLabel::SkinLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}
