#include "ui/DialogSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRect>
#include <QScreen>
#include <QValidator>
#include <QWidget>

#include <algorithm>

namespace dialogs {
namespace {

// Every change of a line edit's text passes its validator, which may rewrite it. The
// box never holds a line break, so the first one in the new text lies in what just came
// in, and that ends at the cursor: the part from the break to the cursor goes.
class SingleLineValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const auto firstBreak = [&input] {
            return std::find_if(input.cbegin(), input.cend(),
                                [](QChar c) { return c == u'\r' || c == u'\n'; }) -
                   input.cbegin();
        };
        const qsizetype at = firstBreak();
        if (at == input.size())
            return Acceptable;
        input.remove(at, std::max<qsizetype>(pos, at) - at);
        input.truncate(firstBreak()); // a text set whole, with the cursor before its break
        pos = static_cast<int>(std::min(at, input.size()));
        return Acceptable;
    }
};

} // namespace

void MakeSingleLine(QLineEdit* edit) {
    edit->setValidator(new SingleLineValidator(edit));
}

bool IsTypedCharacter(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return false;
    default:
        return !event->text().isEmpty();
    }
}

bool HandleDialogKey(QWidget* window, QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        return true;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        if (event->modifiers() & ~Qt::KeypadModifier)
            return false;
        if (auto* button = qobject_cast<QAbstractButton*>(window->focusWidget());
            button && button->window() == window && button->isEnabled())
            button->click();
        event->accept();
        return true;
    default:
        return false;
    }
}

namespace {
// The size the window manager adds round a shown window; nothing before it is shown.
QSize ShownFrameExtra(const QWidget* w) {
    return w && w->isWindow() && w->isVisible() ? w->frameGeometry().size() - w->geometry().size()
                                                : QSize(0, 0);
}

// The size the window manager adds round a window: its own frame once it is shown,
// before that estimated from a shown window that has its frame (as Qt's dialogs do).
QSize FrameExtra(const QWidget* window, const QWidget* hint) {
    QList<const QWidget*> candidates{window};
    if (hint)
        candidates.append(hint->window());
    for (const QWidget* other : QApplication::topLevelWidgets())
        candidates.append(other);
    for (const QWidget* candidate : candidates) {
        if (const QSize extra = ShownFrameExtra(candidate); !extra.isEmpty())
            return extra;
    }
    return QSize(0, 0);
}

// Centres its window at the first show, and again when the frame becomes known.
class FirstShowCentring : public QObject {
public:
    explicit FirstShowCentring(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_)
            return false;
        if (event->type() == QEvent::Show && !shown_) {
            shown_ = true;
            centre();
        } else if (shown_ && event->type() == QEvent::Move && ++moves_ <= MaxMoves) {
            centre();
        }
        return false;
    }

private:
    // Moves seen while the window manager frames the window; after that, a move is
    // the user's.
    static constexpr int MaxMoves = 4;

    void centre() {
        const bool framed = !ShownFrameExtra(window_).isEmpty();
        CentreWindow(window_, ScreenArea(window_));
        if (framed) {
            window_->removeEventFilter(this);
            deleteLater();
        }
    }

    QWidget* window_;
    bool shown_ = false;
    int moves_ = 0;
};

} // namespace

void CentreOnFirstShow(QWidget* window) {
    CentreWindow(window, ScreenArea(window));
    new FirstShowCentring(window);
}

void CentreWindow(QWidget* window, const QRect& area, const QWidget* frameHint) {
    // A window's position is that of its frame.
    const QSize outer = window->size() + FrameExtra(window, frameHint);
    window->move(area.center() - QRect(QPoint(0, 0), outer).center());
}

QRect ScreenArea(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace dialogs
