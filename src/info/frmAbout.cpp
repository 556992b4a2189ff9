#include "info/frmAbout.h"

#include "Version.h"
#include "common/ModCommonUi.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "ui/DialogSupport.h"
#include "ui/Skin.h"
#include "ui_frmAbout.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPalette>

frmAbout::frmAbout(QWidget* centreOn)
    : QDialog(nullptr), ui(new Ui::frmAbout), centreOn_(centreOn) {
    ui->setupUi(this);
    // A top-level window of its own (so it has a taskbar button), fixed size, with
    // the system menu and the close button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setWindowIcon(Skin::programIcon());

    QFont nameFont = ui->slAbout->font();
    nameFont.setPointSizeF(13.5);
    ui->slAbout->setFont(nameFont);

    // The icon picture sits on the system colour for window backgrounds.
    QPalette picturePalette = ui->Picture1->palette();
    picturePalette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Base));
    ui->Picture1->setPalette(picturePalette);
    ui->Picture1->setPixmap(Skin::programPicture());

    // The links read as part of the text beside them: the labels' font, the hand pointer.
    const QCursor hand = Skin::linkCursor();
    for (QPushButton* link : {ui->LabelHomepage, ui->lbEmail, ui->lbEmail2}) {
        link->setFont(ui->slHomePage->font());
        link->setCursor(hand);
    }

    connect(ui->LabelHomepage, &QPushButton::clicked, this, &frmAbout::LabelHomepage_Click);
    connect(ui->lbEmail, &QPushButton::clicked, this, &frmAbout::lbEmail_Click);
    connect(ui->lbEmail2, &QPushButton::clicked, this, &frmAbout::lbEmail2_Click);
    connect(ui->CommandOk, &QPushButton::clicked, this, &frmAbout::CommandOk_Click);

    Form_Load();

    // First shown centred on the window that opens it (on the screen without one).
    dialogs::CentreWindow(this, centreOn_ ? centreOn_->frameGeometry() : dialogs::ScreenArea(this),
                          centreOn_);
}

frmAbout::~frmAbout() {
    delete ui;
}

QString frmAbout::VersionText(int major, int minor) {
    return QStringLiteral("Version") + QString::number(major) + QLatin1Char('.') +
           QString::number(minor);
}

QString frmAbout::ContactAddress1() {
    return QStringLiteral("support@example.com");
}
QString frmAbout::ContactAddress2() {
    return QStringLiteral("sales@example.com");
}

void frmAbout::Form_Load() {
    ModTransLate::ApplyAboutCaptions(this);
    if (Skin* skin = Skin::instance())
        skin->skinWindow(this);
    ui->LabelHomepage->setText(ModTransLate::Text().frmMain.HomePageLink);
    ui->lbEmail->setText(ContactAddress1());
    ui->lbEmail2->setText(ContactAddress2());
    ui->slVer->setText(VersionText(Version::Major, Version::Minor));
}

void frmAbout::LabelHomepage_Click() {
    // The address is read now, not taken from the caption.
    ModCommon::OpenLink(ModTransLate::Text().frmMain.HomePageLink);
}

void frmAbout::lbEmail_Click() {
    ModCommon::OpenLink(QStringLiteral("mailto:") + ContactAddress1());
}

void frmAbout::lbEmail2_Click() {
    ModCommon::OpenLink(QStringLiteral("mailto:") + ContactAddress2());
}

void frmAbout::CommandOk_Click() {
    close();
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    if (!dialogs::HandleDialogKey(this, event))
        QDialog::keyPressEvent(event);
}
