#include "ui/ProgressBar.h"

#include <QAccessible>
#include <QSlider>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

TEST(ProgressBar, CountsInSixtyFourBitsAndShowsTheScaledValue) {
    ProgressBar bar;
    const qint64 full = qint64{1} << 32;
    bar.setMaximum64(full);
    bar.setPosition64(full / 2);
    EXPECT_EQ(bar.position64(), full / 2);
    EXPECT_EQ(bar.maximum(), std::numeric_limits<int>::max());
    EXPECT_NEAR(bar.value(), std::numeric_limits<int>::max() / 2, 1);
    bar.setPosition64(full);
    EXPECT_EQ(bar.value(), bar.maximum());
    EXPECT_EQ(bar.position64(), bar.maximum64());

    bar.setMaximum64(3);
    EXPECT_EQ(bar.position64(), 3); // clamped to the new maximum
    bar.setPosition64(2);
    EXPECT_EQ(bar.maximum(), 3);
    EXPECT_EQ(bar.value(), 2);
}

} // namespace

namespace {

// Every accessibility update that gets past the progress bars' filter.
struct Heard {
    QAccessible::Event type;
    QObject* object;
    int value;
};
std::vector<Heard>& heard() {
    static std::vector<Heard> list;
    return list;
}
void hear(QAccessibleEvent* event) {
    const int value = event->type() == QAccessible::ValueChanged
                          ? static_cast<QAccessibleValueChangeEvent*>(event)->value().toInt()
                          : -1;
    heard().push_back({event->type(), event->object(), value});
}

// The filter in front of a listening tool (the recorder), and a clock the test moves. The
// offscreen platform has no bridge that a tool could switch on, and without one Qt hands
// no update to any handler: the bar's updates are given to the filter as Qt would give
// them, one for each change of its value.
class ProgressAnnouncementTest : public ::testing::Test {
protected:
    void SetUp() override {
        QAccessible::installUpdateHandler(hear);
        installProgressBarAccessibility();
        filter = QAccessible::installUpdateHandler(nullptr);
        ASSERT_NE(filter, nullptr);
        ASSERT_NE(filter, hear);
        ProgressBar::setClock([this] { return now; });
        heard().clear();
        bar.setMaximum64(1000);
        bar.show();
    }
    void TearDown() override {
        ProgressBar::setClock({});
        QAccessible::installUpdateHandler(nullptr);
        installProgressBarAccessibility(); // as start-up left it
    }
    void move(qint64 position) {
        const int before = bar.value();
        bar.setPosition64(position);
        if (bar.value() != before) {
            QAccessibleValueChangeEvent event(&bar, bar.value());
            filter(&event);
        }
    }
    std::vector<int> values() const {
        std::vector<int> told;
        for (const Heard& h : heard())
            if (h.type == QAccessible::ValueChanged && h.object == &bar)
                told.push_back(h.value);
        return told;
    }

    QAccessible::UpdateHandler filter = nullptr;
    qint64 now = 10000;
    ProgressBar bar;
};

TEST_F(ProgressAnnouncementTest, ValueChangesAreToldAtMostOncePerIntervalAndTheEndsAlways) {
    const struct {
        qint64 time, position;
        bool told;
    } rows[] = {
        // The first change is told whenever it comes, even within an interval of the
        // clock's start.
        {120, 3, true},     {10000, 10, true}, {10100, 20, false},
        {10249, 30, false}, {10250, 40, true}, {10260, 1000, true},
        {10261, 0, true},   {10262, 5, false}, {10600, 5, false}, // no change
        {10600, 6, true},   {10601, 7, false}, {10851, 8, true},
    };
    std::vector<int> expected;
    for (const auto& row : rows) {
        now = row.time;
        move(row.position);
        if (row.told)
            expected.push_back(static_cast<int>(row.position));
        EXPECT_EQ(values(), expected) << row.time << " " << row.position;
        EXPECT_EQ(bar.value(), row.position); // the bar follows every move
    }
    // Updates other than the bar's value changes pass as they come, each once to the
    // handler behind the filter and to nothing else, also right after the bar was told.
    QSlider slider;
    QProgressBar plainBar;
    QAccessibleEvent renamed(&bar, QAccessible::NameChanged);
    QAccessibleValueChangeEvent slid(&slider, 7);
    QAccessibleValueChangeEvent plainMoved(&plainBar, 8);
    const struct {
        const char* name;
        QAccessibleEvent* event;
    } passing[] = {
        {"the bar's new name", &renamed},
        {"a slider's value", &slid},
        {"another kind of progress bar's value", &plainMoved},
    };
    for (const auto& row : passing) {
        SCOPED_TRACE(row.name);
        now += 1;
        move(bar.position64() + 1); // within the interval of the last announcement
        heard().clear();
        filter(row.event);
        ASSERT_EQ(heard().size(), 1u);
        EXPECT_EQ(heard().front().type, row.event->type());
        EXPECT_EQ(heard().front().object, row.event->object());
        // Handed on, not also given to the platform's route: the handlers stay as they were.
        EXPECT_EQ(QAccessible::installUpdateHandler(nullptr), nullptr);
    }
}

} // namespace
