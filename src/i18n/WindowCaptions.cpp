#include "i18n/WindowCaptions.h"

#include "i18n/ModTransLate.h"
#include "platform/Desktop.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

namespace ModTransLate {
namespace {

void setText(QWidget* window, const char* name, const QString& text) {
    QObject* target = window->findChild<QObject*>(QString::fromLatin1(name));
    if (auto* button = qobject_cast<QAbstractButton*>(target))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(target))
        label->setText(text);
}

} // namespace

void LoadLanguage() {
    if (!ReadCatalogue())
        platform::MessageBox::show(QStringLiteral("Can't find the language file") + LanguageFile(),
                                   platform::MessageIcon::Warning);
}

void ApplyMainCaptions(QWidget* frmMain) {
    const Catalogue& t = Text();
    frmMain->setWindowTitle(t.SysGlobal.ProductName);
    setText(frmMain, "btnAdd", t.frmMain.Add);
    setText(frmMain, "btnDel", t.frmMain.Del);
    setText(frmMain, "btnBuild", t.frmMain.Start);
    setText(frmMain, "btnCancel", t.frmMain.Stop);
    setText(frmMain, "btnContact", t.frmMain.Contact);
    setText(frmMain, "btnExit", t.frmMain.Exit);
    setText(frmMain, "btnHelp", t.frmHelp.Help);
    setText(frmMain, "btnUpdate", t.frmMain.Update);
    setText(frmMain, "slSuffix", t.frmMain.Suffix);
    setText(frmMain, "slTo", t.frmMain.To);
    setText(frmMain, "slNoFrom", t.frmMain.NoFrom);
}

void ApplyAboutCaptions(QWidget* frmAbout) {
    const Catalogue& t = Text();
    frmAbout->setWindowTitle(t.frmAbout.About);
    setText(frmAbout, "slAbout", t.SysGlobal.ProductName);
    setText(frmAbout, "slHomePage", t.frmAbout.HomePage);
    setText(frmAbout, "slEmail", t.frmAbout.Email);
    setText(frmAbout, "slContact", t.frmAbout.Contact);
    setText(frmAbout, "CommandOk", t.frmAbout.Ok);
}

void ApplyHelpCaptions(QWidget* frmHelp) {
    const Catalogue& t = Text();
    frmHelp->setWindowTitle(t.frmHelp.Help);
    setText(frmHelp, "lbHelp", t.frmHelp.HelpDesc);
    setText(frmHelp, "btnOk", t.frmAbout.Ok);
}

void ApplyUpdateCaptions(QWidget* frmUpdate) {
    const Catalogue& t = Text();
    frmUpdate->setWindowTitle(t.frmUpdate.CheckUpdate);
    setText(frmUpdate, "Command(0)", t.frmUpdate.CheckUpdate);
    setText(frmUpdate, "Command(1)", t.frmMain.Exit);
}

} // namespace ModTransLate
