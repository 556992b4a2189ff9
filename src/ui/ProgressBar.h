#pragma once

#include <QProgressBar>

// A progress bar that counts in 64 bits. QProgressBar holds int values; a run of
// up to 2^32 addresses keeps its exact maximum and position here and shows them
// scaled into the bar's int range.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    void setMaximum64(qint64 maximum);
    void setPosition64(qint64 position);
    // Test seams: the range and position as set, before they are scaled to int.
    qint64 maximum64() const { return maximum64_; }
    qint64 position64() const { return position64_; }

private:
    void updateShownValue();
    qint64 maximum64_ = 100;
    qint64 position64_ = 0;
};
