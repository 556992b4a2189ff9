#pragma once

#include <QIcon>
#include <QObject>

class QCursor;
class QIcon;
class QPixmap;
class QWidget;

// The program's one skin. Exactly one instance exists: the invisible component
// "Skin" carried by the main window. Every window, while it loads and before it is
// first shown, hands itself to this instance, which restyles it and its controls
// (style sheet and images built into the program as a Qt resource).
class Skin : public QObject {
    Q_OBJECT
public:
    explicit Skin(QObject* owner);
    ~Skin() override;

    // The instance carried by the main window, or nullptr when none exists yet.
    static Skin* instance();

    // Restyles window and its controls; windows are skinned once per load.
    void skinWindow(QWidget* window);

    // The built-in style sheet (for tests and for the windows' own checks).
    static QString styleSheet();

    // The program icon: one picture of 80 x 62 pixels, drawn for this program.
    static QIcon programIcon();
    static QPixmap programPicture();

    // The pointer shown over links: a pointing hand, 32 x 32, black outline filled
    // white, with its hot spot at the fingertip (x 6, y 0).
    static QCursor linkCursor();
};
