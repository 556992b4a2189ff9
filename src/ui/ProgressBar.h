#pragma once

#include <QProgressBar>

#include <functional>

// A progress bar that counts in 64 bits. QProgressBar holds int values; a run of
// up to 2^32 addresses keeps its exact maximum and position here and shows them
// scaled into the bar's int range.
//
// Assistive tools hear of its value changes as of any progress bar's, but no more often
// than once per AnnounceInterval: a run moves the bar about a hundred times a second,
// and each move would otherwise reach the accessibility bus. The empty and the full bar
// are always told. The bar itself, and the value a tool reads, follow every move.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    void setMaximum64(qint64 maximum);
    void setPosition64(qint64 position);
    // Test seams: the range and position as set, before they are scaled to int.
    qint64 maximum64() const { return maximum64_; }
    qint64 position64() const { return position64_; }
    // The position in whole per cent of the exact figures ("37%"), as assistive tools read it.
    QString text() const override;

    static constexpr qint64 AnnounceInterval = 250; // milliseconds

    // Whether the value change in hand is told to assistive tools (then the interval
    // starts anew) or passed over. Asked for each change while a tool listens.
    bool takeAnnouncement();

    // The clock the interval is measured on, in milliseconds of a steady clock; tests
    // drive one of their own. An empty function restores the system's.
    static void setClock(std::function<qint64()> clock);

private:
    void updateShownValue();
    qint64 maximum64_ = 100;
    qint64 position64_ = 0;
    qint64 lastAnnounced_ = 0;
    bool announced_ = false;
};

// Makes every progress bar read its value to assistive tools as a per-cent text, and puts
// the progress bars' filter in front of the handler that takes accessibility updates (the
// platform's bridge, or a handler installed before this call). Start-up calls it once;
// calling it again re-inserts the filter in front of the current one.
void installProgressBarAccessibility();
