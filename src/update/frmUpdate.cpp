#include "update/frmUpdate.h"

#include "ui_frmUpdate.h"

#include "Version.h"
#include "common/ModCommonUi.h"
#include "i18n/ModTransLate.h"
#include "i18n/WindowCaptions.h"
#include "platform/Desktop.h"
#include "ui/DialogSupport.h"
#include "ui/Skin.h"
#include "update/UpdateConfig.h"
#include "update/VersionNumber.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>

namespace {
const QString CheckTag = QStringLiteral("CHECK");
const QString DownTag = QStringLiteral("DOWN");
constexpr const char* TagProperty = "Tag";
constexpr const char* IndexProperty = "Index";
} // namespace

frmUpdate::frmUpdate(QWidget* centreOn)
    // No owner: the window is a top-level window of its own with a taskbar button.
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      ui(new Ui::frmUpdate), centreOn_(centreOn) {
    ui->setupUi(this);
    setFixedSize(size());
    QFont messageFont = ui->lbMsg->font();
    messageFont.setPointSizeF(8.25);
    ui->lbMsg->setFont(messageFont);

    for (QPushButton* button : {ui->Command_0, ui->Command_1}) {
        // Neither button is the default or the cancel button.
        button->setAutoDefault(false);
        button->setDefault(false);
        connect(button, &QPushButton::clicked, this,
                [this, button] { Command_Click(button->property(IndexProperty).toInt()); });
    }

    Form_Load();
    centre();
}

frmUpdate::~frmUpdate() {
    delete ui;
}

QPushButton* frmUpdate::Command(int index) const {
    switch (index) {
    case 0:
        return ui->Command_0;
    case 1:
        return ui->Command_1;
    default:
        return nullptr;
    }
}

QString frmUpdate::tag() const {
    return ui->Command_0->property(TagProperty).toString();
}

void frmUpdate::setTag(const QString& tag) {
    ui->Command_0->setProperty(TagProperty, tag);
}

void frmUpdate::Form_Load() {
    if (Skin* s = Skin::instance())
        s->skinWindow(this);
    ModTransLate::ApplyUpdateCaptions(this);
    setTag(CheckTag);
    localVersion_ = VersionNumber::FromParts(Version::Major, Version::Minor, Version::Revision);
    setWindowIcon(Skin::programIcon());
}

void frmUpdate::centre() {
    dialogs::CentreWindow(
        this, centreOn_ ? centreOn_->window()->frameGeometry() : dialogs::ScreenArea(this),
        centreOn_);
}

void frmUpdate::Command_Click(int index) {
    // While a check waits for the network no click is taken, whichever way it came.
    if (checking_)
        return;
    switch (index) {
    case 0:
        if (tag() == CheckTag)
            CheckVersion();
        else
            ModCommon::OpenLink(ModTransLate::Text().frmMain.HomePageLink);
        break;
    case 1:
        close();
        break;
    default:
        break;
    }
}

void frmUpdate::CheckVersion() {
    if (checking_)
        return;
    checking_ = true;
    const QPointer<frmUpdate> self(this);
    const auto& text = ModTransLate::Text().frmUpdate;

    platform::Events::process();
    if (!self)
        return;
    ui->lbMsg->setText(text.CheckingLastestVer);

    const QString manifest = ModCommon::GetUrlText(UpdateConfig::manifestAddress(), ui->pbUpdate);
    if (!self)
        return;
    checking_ = false;

    const std::optional<float> remote = VersionNumber::Parse(manifest);
    if (!remote) {
        // No number (no network, a missing manifest, an error page): say so and stay
        // ready for another try.
        ui->lbMsg->setText(text.CheckFailed);
        Command(0)->setText(text.CheckUpdate);
        setTag(CheckTag);
        ui->pbUpdate->setValue(100);
        tellResult();
        return;
    }

    remoteVersion_ = *remote;
    const QString latest = QLatin1Char(',') + text.TheLastestVer + QLatin1Char(':') +
                           VersionNumber::ToText(remoteVersion_);
    if (localVersion_ < remoteVersion_) {
        ui->lbMsg->setText(text.FindTheLastestVer + latest);
        setTag(DownTag);
        Command(0)->setText(text.DownNewVersion);
    } else {
        ui->lbMsg->setText(text.NoFindTheLastestVer + latest);
        Command(0)->setText(text.CheckUpdate);
        setTag(CheckTag);
    }
    tellResult();
}

void frmUpdate::tellResult() {
    // The result is read out where it stands; the focus stays on the button.
    platform::Announcement::tell(ui->lbMsg, ui->lbMsg->text());
}

void frmUpdate::keyPressEvent(QKeyEvent* event) {
    if (!dialogs::HandleDialogKey(this, event))
        QDialog::keyPressEvent(event);
}

void frmUpdate::closeEvent(QCloseEvent* event) {
    if (checking_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
