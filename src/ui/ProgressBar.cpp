#include "ui/ProgressBar.h"

#include <algorithm>
#include <limits>

namespace {
constexpr qint64 IntMax = std::numeric_limits<int>::max();
}

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
}

void ProgressBar::setMaximum64(qint64 maximum) {
    maximum64_ = std::max<qint64>(maximum, 0);
    position64_ = std::min(position64_, maximum64_);
    if (maximum64_ <= IntMax)
        setRange(0, static_cast<int>(maximum64_));
    else
        setRange(0, static_cast<int>(IntMax));
    updateShownValue();
}

void ProgressBar::setPosition64(qint64 position) {
    position64_ = std::clamp<qint64>(position, 0, maximum64_);
    updateShownValue();
}

void ProgressBar::updateShownValue() {
    if (maximum64_ <= IntMax) {
        setValue(static_cast<int>(position64_));
        return;
    }
    // Shown scaled; the exact figures stay in position64_ and maximum64_.
    const double fraction = static_cast<double>(position64_) / static_cast<double>(maximum64_);
    setValue(static_cast<int>(fraction * static_cast<double>(IntMax)));
}
