#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The version numbers the update check compares: single-precision, "." as the
// decimal point whatever the user's locale.
namespace VersionNumber {

// The text major + "." + minor + revision (plain decimal, nothing between minor and
// revision) as a number: 1, 4, 0 gives "1.40", that is 1.4; 1, 4, 12 gives 1.412.
float FromParts(int major, int minor, int revision);

// The manifest's text as a number: blanks and line ends around it are ignored, the
// rest must be one finite decimal number; nothing otherwise.
std::optional<float> Parse(QStringView text);

// The shortest decimal form with at most seven significant digits, no trailing
// zeros and no leading blank: 1.5, 2, 1.05.
QString ToText(float version);

} // namespace VersionNumber
