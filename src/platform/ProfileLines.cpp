#include "platform/ProfileLines.h"

#include <QString>

#include <algorithm>

namespace platform::profile {
namespace {

bool isAscii(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool isBlank(char c) {
    return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1a';
}

QByteArrayView trimmed(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QByteArrayView upToNul(QByteArrayView text) {
    const qsizetype nul = text.indexOf('\0');
    return nul < 0 ? text : text.first(nul);
}

bool namesEqual(QByteArrayView a, QByteArrayView b) {
    if (isAscii(a) && isAscii(b)) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return asciiLower(x) == asciiLower(y); });
    }
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

bool hasLineBreakOrNul(QByteArrayView text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

ProfileText::ProfileText(QByteArray data) : data_(std::move(data)) {
    parse();
}

const Section* ProfileText::findSection(QByteArrayView name, const Section* after) const {
    auto it = after ? sections_.begin() + (after - sections_.data()) + 1 : sections_.begin();
    for (; it != sections_.end(); ++it) {
        if (namesEqual(it->name, name))
            return &*it;
    }
    return nullptr;
}

const Entry* ProfileText::findKey(const Section& section, QByteArrayView key) const {
    const Entry* entry = entries(section);
    for (size_t i = 0; i < section.entryCount; ++i, ++entry) {
        if (!entry->hidden && namesEqual(entry->name, key))
            return entry;
    }
    return nullptr;
}

void ProfileText::parse() {
    const QByteArrayView data(data_);
    qsizetype pos = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    sections_.push_back(Section{{}, pos, true, 0, 0});
    bool previousKeyEmpty = false; // the section's last entry that counts has an empty key
    bool hasPrevious = false;
    while (pos < data.size()) {
        qsizetype contentEnd = pos;
        while (contentEnd < data.size() && data[contentEnd] != '\n' && data[contentEnd] != '\r')
            ++contentEnd;
        qsizetype end = contentEnd;
        if (end < data.size())
            end += (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n') ? 2 : 1;
        const qsizetype start = pos;
        pos = end;

        const QByteArrayView text = trimmed(data.sliced(start, contentEnd - start));
        if (text.isEmpty())
            continue;
        if (text.front() == '[') {
            if (const qsizetype close = text.lastIndexOf(']'); close > 0) {
                Section section;
                section.name = upToNul(trimmed(text.sliced(1, close - 1)));
                section.lastEnd = end;
                section.lastTerminated = end > contentEnd;
                section.firstEntry = entries_.size();
                sections_.push_back(section);
                hasPrevious = false;
                continue;
            }
        }
        Entry entry;
        entry.start = start;
        entry.contentEnd = contentEnd;
        entry.end = end;
        const qsizetype textStart = text.data() - data.data();
        qsizetype rawKeySize = text.size();
        if (const qsizetype eq = text.indexOf('='); eq >= 0) {
            const QByteArrayView key = trimmed(text.first(eq));
            rawKeySize = key.size();
            entry.name = upToNul(key);
            entry.value = upToNul(trimmed(text.sliced(eq + 1)));
            entry.hasValue = true;
            entry.keyEnd = textStart + eq;
        } else {
            entry.name = upToNul(text);
            entry.keyEnd = textStart + text.size();
        }
        entry.hidden = rawKeySize == 0 && hasPrevious && previousKeyEmpty;
        if (!entry.hidden) {
            hasPrevious = true;
            previousKeyEmpty = entry.name.isEmpty();
        }
        entries_.push_back(entry);
        Section& section = sections_.back();
        ++section.entryCount;
        section.lastEnd = end;
        section.lastTerminated = entry.terminated();
    }
}

} // namespace platform::profile
