#pragma once

#include <QDialog>

class QKeyEvent;

namespace Ui {
class frmHelp;
}

// The Help window: one help text from the catalogue and an OK button. Shown centred
// on the screen, without a taskbar button of its own.
class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget* parent = nullptr);
    ~frmHelp() override;

protected:
    // Escape presses nothing and leaves the window open; Enter presses only the
    // focused button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void btnOk_Click();

    Ui::frmHelp* ui;
};
