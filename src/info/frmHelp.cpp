#include "info/frmHelp.h"

#include "i18n/WindowCaptions.h"
#include "ui/DialogSupport.h"
#include "ui/Skin.h"
#include "ui_frmHelp.h"

#include <QKeyEvent>

frmHelp::frmHelp(QWidget* parent) : QDialog(parent), ui(new Ui::frmHelp) {
    ui->setupUi(this);
    // A tool window has no taskbar button; its title bar carries the close button only.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setWindowIcon(Skin::programIcon());

    connect(ui->btnOk, &QPushButton::clicked, this, &frmHelp::btnOk_Click);

    Form_Load();

    // First shown centred on the screen.
    dialogs::CentreWindow(this, dialogs::ScreenArea(this));
}

frmHelp::~frmHelp() {
    delete ui;
}

void frmHelp::Form_Load() {
    if (Skin* skin = Skin::instance())
        skin->skinWindow(this);
    ModTransLate::ApplyHelpCaptions(this);
}

void frmHelp::btnOk_Click() {
    close();
}

void frmHelp::keyPressEvent(QKeyEvent* event) {
    if (!dialogs::HandleDialogKey(this, event))
        QDialog::keyPressEvent(event);
}
