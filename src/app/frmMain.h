#pragma once

#include "app/GenerationRun.h"
#include "ui/RecordModel.h"

#include <QWidget>

#include <cstdint>
#include <optional>

namespace Ui {
class frmMain;
}
class Skin;

// The main window: the number range, the suffix box with its list, the address list
// and the progress of a run, and the buttons that lead to everything else.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Handlers, named after the control and the event.
    void btnBuild_Click();
    void btnCancel_Click();
    void btnExit_Click();
    void btnAdd_Click();
    void btnDel_Click();
    void btnContact_Click();
    void btnHelp_Click();
    void btnUpdate_Click();

    void InitRecordColumns();

    const RecordModel& records() const { return records_; }
    bool running() const { return running_; }
    // Test seams: whether Stop was pressed, and how the last run ended.
    bool stopRequested() const { return StopRequested; }
    // How the run of the last click on Start ended; none when that click ran none.
    std::optional<GenerationRun::Outcome> lastOutcome() const { return lastOutcome_; }

    // Result of the input check: a run may start, a warning was shown, or a number
    // lies outside the signed 32-bit range (the click then ends without a message).
    enum class InputCheck { Valid, Rejected, OutOfRange };
    InputCheck CheckNumberInput(std::int32_t& from, std::int32_t& to);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    GenerationRun::Hooks runHooks();

    Ui::frmMain* ui;
    Skin* skin_;
    RecordModel records_;
    bool StopRequested = false;
    bool running_ = false;
    bool closeRequested_ = false;
    std::optional<GenerationRun::Outcome> lastOutcome_;
};
