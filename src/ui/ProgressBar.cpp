#include "ui/ProgressBar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QElapsedTimer>

#include <algorithm>
#include <limits>

namespace {
constexpr qint64 IntMax = std::numeric_limits<int>::max();

// The clock a test drives (ProgressBar::setClock); empty: the steady clock below.
std::function<qint64()>& drivenClock() {
    static std::function<qint64()> now;
    return now;
}

qint64 now() {
    if (drivenClock())
        return drivenClock()();
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

// The handler the filter hands every other update to: null for the platform's bridge.
QAccessible::UpdateHandler next = nullptr;

// A progress bar as assistive tools read it: its value as the per-cent text the bar would
// show ("37%"), and the figures behind it. Qt's own reads out the bare number.
class ProgressBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ProgressBarAccessible(QProgressBar* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value)
            return bar()->text();
        return QAccessibleWidget::text(type);
    }

    // QAccessibleValueInterface: read only.
    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 0; }

private:
    QProgressBar* bar() const { return static_cast<QProgressBar*>(widget()); }
};

QAccessibleInterface* progressBarFactory(const QString&, QObject* object) {
    if (auto* bar = qobject_cast<QProgressBar*>(object))
        return new ProgressBarAccessible(bar);
    return nullptr;
}

void filterUpdate(QAccessibleEvent* event) {
    if (event->type() == QAccessible::ValueChanged) {
        if (auto* bar = qobject_cast<ProgressBar*>(event->object());
            bar && !bar->takeAnnouncement())
            return;
    }
    if (next) {
        next(event);
        return;
    }
    // Without a handler, Qt gives the update to the platform's bridge: the filter steps
    // aside for this one update. (A table's model change is seen twice by its table
    // interface; the address list's takes that as often as it comes.)
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(filterUpdate);
}
} // namespace

void installProgressBarAccessibility() {
    QAccessible::installFactory(progressBarFactory);
    const QAccessible::UpdateHandler current = QAccessible::installUpdateHandler(filterUpdate);
    if (current != filterUpdate)
        next = current;
}

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
}

void ProgressBar::setClock(std::function<qint64()> clockFunction) {
    drivenClock() = std::move(clockFunction);
}

bool ProgressBar::takeAnnouncement() {
    const qint64 time = now();
    const bool end = value() == minimum() || value() == maximum();
    if (!end && announced_ && time - lastAnnounced_ < AnnounceInterval)
        return false;
    announced_ = true;
    lastAnnounced_ = time;
    return true;
}

QString ProgressBar::text() const {
    if (maximum64_ == 0)
        return QString();
    // A run counts at most 2^32 addresses: the product stays far inside 64 bits.
    return QString::number(position64_ * 100 / maximum64_) + QLatin1Char('%');
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
