#pragma once

#include <QDialog>

class QPushButton;

namespace Ui {
class frmUpdate;
}

// The Update window: checks the maker's host for a newer version and, when there is
// one, turns its first button into a link to the home page.
class frmUpdate : public QDialog {
    Q_OBJECT
public:
    explicit frmUpdate(QWidget* centreOn = nullptr);
    ~frmUpdate() override;

    // The control array Command: members 0 (check / download) and 1 (close), with the
    // object names "Command(0)" and "Command(1)".
    QPushButton* Command(int index) const;
    void Command_Click(int index);
    void CheckVersion();

    float LocalVersion() const { return localVersion_; }
    float RemoteVersion() const { return remoteVersion_; }

private:
    void Form_Load();

    Ui::frmUpdate* ui;
    QWidget* centreOn_;
    float localVersion_ = 0;
    float remoteVersion_ = 0;
};
