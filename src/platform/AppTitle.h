#pragma once

#include <QString>

namespace platform {

// The title every message box shows: built in as the product name until the catalogue
// replaces it.
class AppTitle {
public:
    static QString title();
    static void setTitle(const QString& title);
    static QString builtInTitle();
};

} // namespace platform
