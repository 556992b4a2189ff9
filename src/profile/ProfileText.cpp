#include "profile/ProfileText.h"

#include <QString>

#include <algorithm>

namespace profile {
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

namespace {

// One line of the file: where it starts, where its text ends, where the next begins.
struct Line {
    qsizetype start = 0;
    qsizetype contentEnd = 0;
    qsizetype end = 0;
    QByteArrayView text; // trimmed
    bool terminated() const { return end > contentEnd; }
};

// CR LF, LF and a lone CR each end a line.
Line lineAt(QByteArrayView data, qsizetype pos) {
    Line line;
    line.start = pos;
    qsizetype contentEnd = pos;
    while (contentEnd < data.size() && data[contentEnd] != '\n' && data[contentEnd] != '\r')
        ++contentEnd;
    qsizetype end = contentEnd;
    if (end < data.size())
        end += (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n') ? 2 : 1;
    line.contentEnd = contentEnd;
    line.end = end;
    line.text = trimmed(data.sliced(pos, contentEnd - pos));
    return line;
}

// The name of a section header line, or nothing for any other line. A '[' line without
// a ']' is an ordinary line.
std::optional<QByteArrayView> headerName(QByteArrayView text) {
    if (text.isEmpty() || text.front() != '[')
        return std::nullopt;
    const qsizetype close = text.lastIndexOf(']');
    if (close <= 0)
        return std::nullopt;
    return upToNul(trimmed(text.sliced(1, close - 1)));
}

constexpr std::size_t MaxAnswers = 512;

} // namespace

ProfileText::ProfileText(QByteArray data)
    : data_(std::move(data)), start_(data_.startsWith("\xEF\xBB\xBF") ? 3 : 0) {}

std::optional<Section> ProfileText::findSection(QByteArrayView name, const Section* after) const {
    if (after == nullptr) {
        std::lock_guard guard(answersMutex_);
        for (const Answer& answer : answers_) {
            if (!answer.key && answer.section == name)
                return answer.foundSection;
        }
    }
    const QByteArrayView data(data_);
    // The section being read: the lines before the first header, or those after `after`.
    Section current;
    bool reading = after == nullptr; // whether `current` is a section (and not its tail)
    qsizetype pos = start_;
    if (after != nullptr) {
        pos = after->bodyEnd;
    } else {
        current.bodyStart = current.lastEnd = pos;
    }
    std::optional<Section> found;
    for (;;) {
        const Line line = pos < data.size() ? lineAt(data, pos) : Line{pos, pos, pos, {}};
        const std::optional<QByteArrayView> header =
            pos < data.size() ? headerName(line.text) : std::optional<QByteArrayView>{};
        if (pos >= data.size() || header) {
            if (reading && namesEqual(current.name, name)) {
                current.bodyEnd = line.start;
                found = current;
                break;
            }
            if (pos >= data.size())
                break;
            current = Section{*header, line.end, 0, line.end, line.terminated()};
            reading = true;
        } else if (!line.text.isEmpty()) {
            current.lastEnd = line.end;
            current.lastTerminated = line.terminated();
        }
        pos = line.end;
    }
    if (after == nullptr) {
        std::lock_guard guard(answersMutex_);
        if (answers_.size() >= MaxAnswers)
            answers_.clear();
        answers_.push_back({name.toByteArray(), std::nullopt, found, std::nullopt});
    }
    return found;
}

void ProfileText::forEachEntry(const Section& section,
                               const std::function<bool(const Entry&)>& visit,
                               const Entry* after) const {
    const QByteArrayView data(data_);
    // Whether the section's last entry that counts has an empty key.
    bool hasPrevious = after != nullptr;
    bool previousKeyEmpty = after != nullptr && after->name.isEmpty();
    for (qsizetype pos = after ? after->end : section.bodyStart; pos < section.bodyEnd;) {
        const Line line = lineAt(data, pos);
        pos = line.end;
        const QByteArrayView text = line.text;
        if (text.isEmpty())
            continue;
        Entry entry;
        entry.start = line.start;
        entry.contentEnd = line.contentEnd;
        entry.end = line.end;
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
        if (!visit(entry))
            return;
    }
}

std::optional<Entry> ProfileText::findKey(const Section& section, QByteArrayView key) const {
    const auto sameQuestion = [&](const Answer& answer) {
        return answer.key && *answer.key == key && answer.foundSection &&
               answer.foundSection->bodyStart == section.bodyStart;
    };
    {
        std::lock_guard guard(answersMutex_);
        for (const Answer& answer : answers_) {
            if (sameQuestion(answer))
                return answer.foundEntry;
        }
    }
    std::optional<Entry> found;
    forEachEntry(section, [&](const Entry& entry) {
        if (entry.hidden || !namesEqual(entry.name, key))
            return true;
        found = entry;
        return false;
    });
    std::lock_guard guard(answersMutex_);
    if (answers_.size() >= MaxAnswers)
        answers_.clear();
    answers_.push_back({QByteArray(), key.toByteArray(), section, found});
    return found;
}

} // namespace profile
