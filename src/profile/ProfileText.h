#pragma once

// The profile file as the Windows functions see it: lines, sections and their entries.

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace profile {

// The blanks the profile rules trim: tab, LF, VT, FF, CR, space and Ctrl-Z.
bool isBlank(char c);
QByteArrayView trimmed(QByteArrayView text);
// A name or value as the Windows functions see it: a C string, ended by a NUL.
QByteArrayView upToNul(QByteArrayView text);
// Section and key names match without regard to letter case (Unicode case folding
// for names outside ASCII).
bool namesEqual(QByteArrayView a, QByteArrayView b);
bool hasLineBreakOrNul(QByteArrayView text);

struct Entry {
    qsizetype start = 0;      // first byte of the line
    qsizetype contentEnd = 0; // end of the line's text, before its line break
    qsizetype end = 0;        // first byte of the next line
    qsizetype keyEnd = 0;     // where a new value replaces the old: the '=' or the key's end
    QByteArrayView name;      // the key, trimmed, up to a NUL
    QByteArrayView value;     // the value, trimmed, up to a NUL
    bool hasValue = false;    // the line has a '='
    bool hidden = false;      // an empty key right after another: not an entry
    bool terminated() const { return end > contentEnd; }
};

struct Section {
    QByteArrayView name;     // trimmed, up to a NUL; empty for the lines before the first header
    qsizetype bodyStart = 0; // first byte after the header line
    qsizetype bodyEnd = 0;   // first byte of the next header line, or the end of the file
    qsizetype lastEnd = 0;   // end of the section's last non-blank line (with its line break)
    bool lastTerminated = true;
};

// A file's bytes, read as sections of entries. The lines before the first header form
// the first section, with an empty name. Nothing is built per line: sections and entries
// are found by reading the lines when asked for, so the memory beyond the bytes does not
// grow with the file. The sections and keys asked for are remembered (a few hundred at
// most), so that reading the texts of a language file one by one stays cheap.
class ProfileText {
public:
    explicit ProfileText(QByteArray data);

    const QByteArray& data() const { return data_; }
    // The first section of that name (after `after` when given).
    std::optional<Section> findSection(QByteArrayView name, const Section* after = nullptr) const;
    // The first entry of that key in the section that is not hidden.
    std::optional<Entry> findKey(const Section& section, QByteArrayView key) const;
    // Calls visit(entry) for the section's entries in file order while it returns true;
    // with `after` (an entry of the section that is not hidden), for those after it.
    void forEachEntry(const Section& section, const std::function<bool(const Entry&)>& visit,
                      const Entry* after = nullptr) const;

private:
    QByteArray data_;
    qsizetype start_ = 0; // after a byte-order mark

    // Remembered answers: (section name, key or nothing) -> section and entry.
    struct Answer {
        QByteArray section;
        std::optional<QByteArray> key;
        std::optional<Section> foundSection;
        std::optional<Entry> foundEntry;
    };
    mutable std::mutex answersMutex_;
    mutable std::vector<Answer> answers_;
};

} // namespace profile
