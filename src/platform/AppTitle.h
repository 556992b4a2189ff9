#pragma once

#include <QString>

namespace platform {

// The title every message box shows: built in as the product name until the catalogue
// replaces it.
class AppTitle {
public:
    static QString title() { return current(); }
    static void setTitle(const QString& title) { current() = title; }
    static QString builtInTitle() { return QStringLiteral("Korvani"); }

private:
    static QString& current() {
        static QString title = builtInTitle();
        return title;
    }
};

} // namespace platform
