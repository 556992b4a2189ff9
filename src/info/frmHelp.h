#pragma once

#include <QDialog>

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

private:
    void Form_Load();
    void btnOk_Click();

    Ui::frmHelp* ui;
};
