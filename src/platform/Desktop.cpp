#include "platform/Desktop.h"

#include "platform/AppTitle.h"

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace platform {
namespace {

struct MessageState {
    bool recording = false;
    QList<ShownMessage> shown;
    std::function<void(const ShownMessage&)> hook;
};
MessageState& messages() {
    static MessageState state;
    return state;
}

struct DialogState {
    bool recording = false;
    QString nextName;
    QList<SaveDialogRequest> requests;
};
DialogState& dialogs() {
    static DialogState state;
    return state;
}

struct ShellState {
    bool recording = false;
    QStringList opened;
};
ShellState& shell() {
    static ShellState state;
    return state;
}

QStringList& toldTexts() {
    static QStringList texts;
    return texts;
}

std::function<void()>& eventHook() {
    static std::function<void()> hook;
    return hook;
}

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Exclamation:
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void MessageBox::show(const QString& text, MessageIcon icon) {
    const ShownMessage message{AppTitle::title(), text, icon};
    auto& state = messages();
    if (state.recording) {
        state.shown.append(message);
        if (state.hook) {
            auto hook = state.hook; // the hook may replace itself
            hook(message);
        }
        return;
    }
    QMessageBox box(toQt(icon), message.title, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void MessageBox::setRecording(bool on) {
    messages().recording = on;
}
bool MessageBox::recording() {
    return messages().recording;
}
const QList<ShownMessage>& MessageBox::shown() {
    return messages().shown;
}
void MessageBox::clearShown() {
    messages().shown.clear();
}
void MessageBox::setOnShow(std::function<void(const ShownMessage&)> hook) {
    messages().hook = std::move(hook);
}

QString FileDialog::getSaveFileName(const SaveDialogRequest& request) {
    auto& state = dialogs();
    if (state.recording) {
        state.requests.append(request);
        return std::exchange(state.nextName, QString());
    }
    // No owner window is named, yet the dialog is application-modal so that a
    // second run cannot start while the first asks for its file.
    // Windows shows the description as it is and filters by the pattern; Qt shows its
    // one name filter and takes the patterns from its parentheses. A description that
    // already ends in its pattern ("Text files(*.txt)") is therefore the filter as it is.
    const QString patternPart = QLatin1Char('(') + request.filterPattern + QLatin1Char(')');
    const QString nameFilter = request.filterDescription.endsWith(patternPart)
                                   ? request.filterDescription
                                   : request.filterDescription + QLatin1Char(' ') + patternPart;
    QFileDialog dialog(nullptr, request.title, QString(), nameFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setWindowModality(Qt::ApplicationModal);
    QFileDialog::Options options = QFileDialog::DontUseNativeDialog;
    if (!request.overwritePrompt)
        options |= QFileDialog::DontConfirmOverwrite;
    dialog.setOptions(options);
    dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void FileDialog::setRecording(bool on) {
    dialogs().recording = on;
}
void FileDialog::setNextFileName(const QString& path) {
    dialogs().nextName = path;
}
const QList<SaveDialogRequest>& FileDialog::requests() {
    return dialogs().requests;
}
void FileDialog::clearRequests() {
    dialogs().requests.clear();
}

bool Shell::openAddress(const QString& address) {
    auto& state = shell();
    if (state.recording) {
        state.opened.append(address);
        return true;
    }
    return QDesktopServices::openUrl(QUrl(address, QUrl::StrictMode));
}

void Shell::setRecording(bool on) {
    shell().recording = on;
}
const QStringList& Shell::opened() {
    return shell().opened;
}
void Shell::clearOpened() {
    shell().opened.clear();
}

void Announcement::tell(QObject* source, const QString& text) {
    toldTexts().append(text);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent announcement(source, text);
    QAccessible::updateAccessibility(&announcement);
#else
    QAccessibleEvent renamed(source, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
    QAccessibleEvent alert(source, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
#endif
}
const QStringList& Announcement::told() {
    return toldTexts();
}
void Announcement::clearTold() {
    toldTexts().clear();
}

void Events::process() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (auto& hook = eventHook()) {
        auto copy = hook;
        copy();
    }
}

void Events::setHook(std::function<void()> hook) {
    eventHook() = std::move(hook);
}

} // namespace platform
