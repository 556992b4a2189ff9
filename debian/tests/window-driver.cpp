// Drives the installed program's main window from inside its own process, loaded with
// LD_PRELOAD: it finds the controls by their object names, as the project's window tests do,
// and presses the buttons with a mouse click (QTest). It knows nothing of the program's
// classes, only Qt's, so it drives whichever korvani runs.
//
// The steps come from the file $KORVANI_DRIVER_STEPS, one a line, done in order:
//   set NAME TEXT   the line edit (or editable combo box) NAME gets TEXT
//   click NAME      clicks the button NAME (once no dialog is open)
//   message         waits for a message box, prints "message: TEXT" and presses OK
//   save PATH       waits for the Save dialog and answers it with PATH
//   suffixes        prints "suffix: TEXT" for each entry of the suffix box
//   list PATH       writes the address list as the window shows it (read through its
//                   accessibility table, row by row) into PATH, one address a line
//   close           closes the main window, which ends the program
// A step that has waited 60 s ends the program with exit code 3.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QStringList steps;
int next = 0;
int waited = 0;

void say(const QString& line) {
    std::printf("driver: %s\n", qPrintable(line));
    std::fflush(stdout);
}

void fail(const QString& why) {
    say(QStringLiteral("FAILED: ") + why);
    std::_Exit(3);
}

QWidget* mainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("frmMain") && widget->isVisible())
            return widget;
    return nullptr;
}

template <typename T> T* visibleTopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(widget); found && found->isVisible())
            return found;
    return nullptr;
}

template <typename T> T* control(const QString& name) {
    T* found = mainWindow()->findChild<T*>(name);
    if (!found)
        fail(QStringLiteral("no control ") + name);
    return found;
}

// Does the step; false while what it waits for is not there yet.
bool perform(const QString& step) {
    const QString verb = step.section(u' ', 0, 0);
    const QString argument = step.section(u' ', 1);
    const bool idle = mainWindow() && !QApplication::activeModalWidget();
    if (verb == u"message") {
        auto* box = visibleTopLevel<QMessageBox>();
        if (!box)
            return false;
        say(QStringLiteral("message: ") + box->text());
        box->button(QMessageBox::Ok)->click();
        return true;
    }
    if (verb == u"save") {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        // As the user answers it: the name typed into its name box, then Save pressed.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        if (!name || !buttons)
            fail(QStringLiteral("the Save dialog has no name box or no buttons"));
        if (name->text() != argument)
            name->setText(argument);
        QAbstractButton* save = buttons->button(QDialogButtonBox::Save);
        if (!save)
            save = buttons->button(QDialogButtonBox::Open);
        // The dialog may still be reading the folder: the button is pressed once it can be
        // (the step's 60 s say when it never can).
        if (!save || !save->isEnabled())
            return false;
        QTest::mouseClick(save, Qt::LeftButton);
        return true;
    }
    if (!idle)
        return false;
    if (verb == u"set") {
        const QString name = argument.section(u' ', 0, 0);
        const QString text = argument.section(u' ', 1);
        if (auto* box = mainWindow()->findChild<QComboBox*>(name))
            box->setEditText(text);
        else
            control<QLineEdit>(name)->setText(text);
    } else if (verb == u"click") {
        auto* button = control<QAbstractButton>(argument);
        // Later, from the event loop: the click may open a dialog that waits in its own
        // loop, where the next steps go on.
        QMetaObject::invokeMethod(
            button, [button] { QTest::mouseClick(button, Qt::LeftButton); }, Qt::QueuedConnection);
    } else if (verb == u"suffixes") {
        auto* box = control<QComboBox>(QStringLiteral("cbSuffix"));
        for (int i = 0; i < box->count(); ++i)
            say(QStringLiteral("suffix: ") + box->itemText(i));
    } else if (verb == u"list") {
        QAccessibleInterface* view =
            QAccessible::queryAccessibleInterface(control<QWidget>(QStringLiteral("lvRecord")));
        QAccessibleTableInterface* table = view ? view->tableInterface() : nullptr;
        if (!table)
            fail(QStringLiteral("the list is not a table to assistive tools"));
        QFile file(argument);
        if (!file.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write ") + argument);
        for (int row = 0; row < table->rowCount(); ++row)
            for (int column = 0; column < table->columnCount(); ++column) {
                const QString cell = table->cellAt(row, column)->text(QAccessible::Name);
                if (!cell.isEmpty())
                    file.write(cell.toUtf8() + '\n');
            }
    } else if (verb == u"close") {
        mainWindow()->close();
    } else {
        fail(QStringLiteral("unknown step ") + step);
    }
    return true;
}

void tick() {
    if (next >= steps.size())
        return;
    if (perform(steps[next])) {
        say(QStringLiteral("done: ") + steps[next]);
        ++next;
        waited = 0;
    } else if (++waited > 60 * 20) {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible())
                say(QStringLiteral("shown: %1 \"%2\"")
                        .arg(QString::fromLatin1(widget->metaObject()->className()),
                             widget->windowTitle()));
        fail(QStringLiteral("waited 60 s for: ") + steps[next]);
    }
}

void startDriving() {
    QFile file(qEnvironmentVariable("KORVANI_DRIVER_STEPS"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        fail(QStringLiteral("no steps in $KORVANI_DRIVER_STEPS"));
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            steps << QString::fromUtf8(line.trimmed());
    // Once the event loop runs (the timer needs it); a posted call waits for it.
    QMetaObject::invokeMethod(
        qApp,
        [] {
            say(QStringLiteral("program ") + QCoreApplication::applicationFilePath());
            auto* timer = new QTimer(qApp);
            QObject::connect(timer, &QTimer::timeout, tick);
            timer->start(50);
        },
        Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriving)
