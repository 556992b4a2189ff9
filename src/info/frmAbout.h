#pragma once

#include <QDialog>

class QKeyEvent;

namespace Ui {
class frmAbout;
}

// The About window: product name, version, home page and two contact addresses.
// Each opening constructs the window afresh (its load step runs in the constructor)
// and closing it ends it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    // centreOn: the window that opens it; the About window is first shown centred on
    // it. It is not the Qt parent: no owner window is passed.
    explicit frmAbout(QWidget* centreOn = nullptr);
    ~frmAbout() override;

    // The version text "Version" + major + "." + minor (the revision is not shown).
    static QString VersionText(int major, int minor);

    // The two contact addresses, constants of the program.
    static QString ContactAddress1();
    static QString ContactAddress2();

protected:
    // Escape presses nothing and leaves the window open; Enter presses only the
    // focused button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void LabelHomepage_Click();
    void lbEmail_Click();
    void lbEmail2_Click();
    void CommandOk_Click();

    Ui::frmAbout* ui;
    QWidget* centreOn_;
};
