#pragma once

#include <QDialog>

class QCloseEvent;
class QKeyEvent;
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
    // object names "Command(0)" and "Command(1)" (given in frmUpdate.ui, whose members
    // for them are Command_0 and Command_1).
    QPushButton* Command(int index) const;
    void Command_Click(int index);
    void CheckVersion();

    // Test seams: the versions the last check compared, and whether a check is waiting.
    float LocalVersion() const { return localVersion_; }
    float RemoteVersion() const { return remoteVersion_; }

    // The mode of Command(0), kept in its "Tag" property: "CHECK" or "DOWN".
    QString tag() const;
    // True while a check waits for the network; the buttons and the close box then
    // do nothing (a test seam: the window reads checking_ itself).
    bool isChecking() const { return checking_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void setTag(const QString& tag);
    // Tells assistive tools the result the message line shows.
    void tellResult();
    void centre();

    Ui::frmUpdate* ui;
    QWidget* centreOn_;
    float localVersion_ = 0;
    float remoteVersion_ = 0;
    bool checking_ = false;
};
