#pragma once

#include <QAccessibleWidget>

class QComboBox;

// Registers the accessibility factory for the program's windows and its editable combo
// box. Start-up calls it before the first window is made; later calls do nothing.
void installWindowAccessibility();

// One of the program's own top-level windows (frmMain, frmAbout, frmHelp, frmUpdate) as
// assistive tools see it: a window, named by its title, and not a filler.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}
};

// An editable combo box as assistive tools see it: named after its label (its accessible
// name, which the captions give it), its value the text it holds. Qt's own names such a
// box after its text on Linux, so that its name changes with every key. The children are
// Qt's: the drop-down list, then the line edit, which carries the focus.
class ComboBoxAccessible : public QAccessibleWidget {
public:
    explicit ComboBoxAccessible(QComboBox* box);

    QString text(QAccessible::Text type) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* focusChild() const override;

    // Its actions (QAccessibleWidget's action interface): open the drop-down list.
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    QComboBox* box() const;
};
