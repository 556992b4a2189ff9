#pragma once

// The profile file as the Windows functions see it: lines, sections and their entries.

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace platform::profile {

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
    QByteArrayView name;   // trimmed, up to a NUL; empty for the lines before the first header
    qsizetype lastEnd = 0; // end of the section's last non-blank line (with its line break)
    bool lastTerminated = true;
    size_t firstEntry = 0;
    size_t entryCount = 0;
};

// A file's bytes and its sections of entries. The lines before the first header form
// the first section, with an empty name.
class ProfileText {
public:
    explicit ProfileText(QByteArray data);

    const QByteArray& data() const { return data_; }
    const Entry* entries(const Section& section) const {
        return entries_.data() + section.firstEntry;
    }
    // The first section of that name (after `after` when given), or null.
    const Section* findSection(QByteArrayView name, const Section* after = nullptr) const;
    // The first entry of that key in the section, or null.
    const Entry* findKey(const Section& section, QByteArrayView key) const;

private:
    void parse();

    QByteArray data_;
    std::vector<Section> sections_;
    std::vector<Entry> entries_;
};

} // namespace platform::profile
