#include "i18n/WindowCaptions.h"

#include "platform/Desktop.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace ModTransLate {
namespace {

constexpr Caption MainCaptions[] = {
    {"btnAdd", [](const Catalogue& t) { return t.frmMain.Add; }},
    {"btnDel", [](const Catalogue& t) { return t.frmMain.Del; }},
    {"btnBuild", [](const Catalogue& t) { return t.frmMain.Start; }},
    {"btnCancel", [](const Catalogue& t) { return t.frmMain.Stop; }},
    {"btnContact", [](const Catalogue& t) { return t.frmMain.Contact; }},
    {"btnExit", [](const Catalogue& t) { return t.frmMain.Exit; }},
    {"btnHelp", [](const Catalogue& t) { return t.frmHelp.Help; }},
    {"btnUpdate", [](const Catalogue& t) { return t.frmMain.Update; }},
    {"slSuffix", [](const Catalogue& t) { return t.frmMain.Suffix; }},
    {"slTo", [](const Catalogue& t) { return t.frmMain.To; }},
    {"slNoFrom", [](const Catalogue& t) { return t.frmMain.NoFrom; }},
};

constexpr Caption MainNames[] = {
    {"lvRecord", [](const Catalogue& t) { return t.frmMain.AddressList; }},
    {"pb", [](const Catalogue& t) { return t.frmMain.Progress; }},
};

constexpr Caption AboutCaptions[] = {
    {"slAbout", [](const Catalogue& t) { return t.SysGlobal.ProductName; }},
    {"slHomePage", [](const Catalogue& t) { return t.frmAbout.HomePage; }},
    {"slEmail", [](const Catalogue& t) { return t.frmAbout.Email; }},
    {"slContact", [](const Catalogue& t) { return t.frmAbout.Contact; }},
    {"CommandOk", [](const Catalogue& t) { return t.frmAbout.Ok; }},
};

constexpr Caption HelpCaptions[] = {
    {"lbHelp", [](const Catalogue& t) { return t.frmHelp.HelpDesc; }},
    {"btnOk", [](const Catalogue& t) { return t.frmAbout.Ok; }},
};

constexpr Caption UpdateCaptions[] = {
    {"Command(0)", [](const Catalogue& t) { return t.frmUpdate.CheckUpdate; }},
    {"Command(1)", [](const Catalogue& t) { return t.frmMain.Exit; }},
};

constexpr Caption UpdateNames[] = {
    {"pbUpdate", [](const Catalogue& t) { return t.frmUpdate.Progress; }},
};

constexpr WindowCaptions Tables[] = {
    {"frmMain", [](const Catalogue& t) { return t.SysGlobal.ProductName; }, MainCaptions,
     MainNames},
    {"frmAbout", [](const Catalogue& t) { return t.frmAbout.About; }, AboutCaptions},
    {"frmHelp", [](const Catalogue& t) { return t.frmHelp.Help; }, HelpCaptions},
    {"frmUpdate", [](const Catalogue& t) { return t.frmUpdate.CheckUpdate; }, UpdateCaptions,
     UpdateNames},
};

void apply(QWidget* window, const WindowCaptions& table) {
    const Catalogue& t = Text();
    window->setWindowTitle(table.title(t));
    for (const Caption& caption : table.captions) {
        QObject* target = window->findChild<QObject*>(QString::fromLatin1(caption.control));
        if (auto* button = qobject_cast<QAbstractButton*>(target))
            button->setText(caption.text(t));
        else if (auto* label = qobject_cast<QLabel*>(target))
            label->setText(caption.text(t));
        else
            Q_ASSERT_X(false, table.window,
                       qPrintable(QStringLiteral("no button or label named ") +
                                  QString::fromLatin1(caption.control)));
    }
    for (const Caption& name : table.names) {
        if (auto* target = window->findChild<QWidget*>(QString::fromLatin1(name.control)))
            target->setAccessibleName(name.text(t));
        else
            Q_ASSERT_X(false, table.window,
                       qPrintable(QStringLiteral("no control named ") +
                                  QString::fromLatin1(name.control)));
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (auto* box = qobject_cast<QComboBox*>(label->buddy()); box && box->lineEdit()) {
            box->setAccessibleName(label->text());
            box->lineEdit()->setAccessibleName(label->text());
            box->view()->setAccessibleName(label->text()); // the drop-down list
        }
    }
}

} // namespace

std::span<const WindowCaptions> CaptionTables() {
    return Tables;
}

void LoadLanguage() {
    if (!ReadCatalogue())
        platform::MessageBox::show(QStringLiteral("Can't find the language file") + LanguageFile(),
                                   platform::MessageIcon::Warning);
}

void ApplyMainCaptions(QWidget* frmMain) {
    apply(frmMain, Tables[0]);
}

void ApplyAboutCaptions(QWidget* frmAbout) {
    apply(frmAbout, Tables[1]);
}

void ApplyHelpCaptions(QWidget* frmHelp) {
    apply(frmHelp, Tables[2]);
}

void ApplyUpdateCaptions(QWidget* frmUpdate) {
    apply(frmUpdate, Tables[3]);
}

} // namespace ModTransLate
