#pragma once

// Helpers the fuzz targets share: a check that aborts (libFuzzer keeps the input that
// made it fail), one scratch file per process for the profile readers, and a plain
// model of the profile rules to compare the readers with.

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// Splits the input at its first `count` NUL bytes; missing parts are empty, the last
// part holds the rest (NULs included).
inline std::vector<QByteArrayView> splitInput(const uint8_t* data, size_t size, int count) {
    std::vector<QByteArrayView> parts;
    QByteArrayView rest(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (int i = 0; i < count; ++i) {
        const qsizetype nul = rest.indexOf('\0');
        if (nul < 0) {
            parts.push_back(rest);
            rest = {};
        } else {
            parts.push_back(rest.first(nul));
            rest = rest.sliced(nul + 1);
        }
    }
    parts.push_back(rest);
    return parts;
}

// One file per process, on tmpfs when there is one, rewritten in place for each input
// and removed when the process ends.
class ScratchFile {
public:
    ScratchFile() {
        const QString folder = QDir(QStringLiteral("/dev/shm")).exists()
                                   ? QStringLiteral("/dev/shm")
                                   : QDir::tempPath();
        path_ = QStringLiteral("%1/korvani-fuzz-%2.ini").arg(folder).arg(::getpid());
        native_ = QFile::encodeName(path_).toStdString();
        fd_ = ::open(native_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            std::perror("scratch file");
            std::abort();
        }
    }
    ~ScratchFile() {
        ::close(fd_);
        ::unlink(native_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const QString& path() const { return path_; }

    void write(QByteArrayView body) {
        FUZZ_CHECK(::ftruncate(fd_, 0) == 0);
        qsizetype done = 0;
        while (done < body.size()) {
            const ssize_t n =
                ::pwrite(fd_, body.data() + done, static_cast<size_t>(body.size() - done), done);
            FUZZ_CHECK(n > 0);
            done += n;
        }
    }

private:
    QString path_;
    std::string native_;
    int fd_ = -1;
};

// ---------------------------------------------------------------------------
// The profile rules written out plainly: CR LF, LF and a lone CR end a line; blanks
// (tab, LF, VT, FF, CR, space, Ctrl-Z) are trimmed; a line starting with '[' and
// holding a ']' is a section header, its name up to the last ']'; any other line is an
// entry split at its first '=' (a ';' line is a comment entry); an entry with an empty
// key right after another with an empty key does not count; names and values end at a
// NUL. Lines before the first header form a section with an empty name.

struct ModelEntry {
    std::string name;
    bool hasEquals = false;
    std::string value;
    std::string text() const { return hasEquals ? name + '=' + value : name; }
};

struct ModelSection {
    std::string name;
    std::vector<ModelEntry> entries;
};

inline bool modelBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

inline std::string_view modelTrim(std::string_view s) {
    while (!s.empty() && modelBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && modelBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

inline std::string modelCString(std::string_view s) {
    return std::string(s.substr(0, s.find('\0')));
}

inline std::vector<ModelSection> parseModel(std::string_view body) {
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    std::vector<ModelSection> sections(1);
    bool lastKeyEmpty = false, hasLastKey = false;
    std::string line;
    for (size_t i = 0; i <= body.size(); ++i) {
        if (i < body.size() && body[i] != '\r' && body[i] != '\n') {
            line += body[i];
            continue;
        }
        const std::string_view text = modelTrim(line);
        if (text.empty()) {
            line.clear();
            continue;
        }
        const size_t close = text.rfind(']');
        if (text.front() == '[' && close != std::string_view::npos && close > 0) {
            sections.push_back({modelCString(modelTrim(text.substr(1, close - 1))), {}});
            hasLastKey = false;
        } else {
            ModelEntry entry;
            const size_t eq = text.find('=');
            const std::string_view rawName = modelTrim(text.substr(0, eq));
            entry.name = modelCString(rawName);
            if (eq != std::string_view::npos) {
                entry.hasEquals = true;
                entry.value = modelCString(modelTrim(text.substr(eq + 1)));
            }
            if (!(rawName.empty() && hasLastKey && lastKeyEmpty)) {
                hasLastKey = true;
                lastKeyEmpty = entry.name.empty();
                sections.back().entries.push_back(std::move(entry));
            }
        }
        line.clear();
    }
    return sections;
}

inline bool modelNamesEqual(std::string_view a, std::string_view b) {
    const auto ascii = [](std::string_view s) {
        for (char c : s) {
            if (static_cast<unsigned char>(c) >= 0x80)
                return false;
        }
        return true;
    };
    if (ascii(a) && ascii(b)) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i) {
            const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
            if (lower(a[i]) != lower(b[i]))
                return false;
        }
        return true;
    }
    const auto text = [](std::string_view s) {
        return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    };
    return text(a).compare(text(b), Qt::CaseInsensitive) == 0;
}

// The first section of that name, or null.
inline const ModelSection* modelFindSection(const std::vector<ModelSection>& sections,
                                            std::string_view name) {
    for (const ModelSection& section : sections) {
        if (modelNamesEqual(section.name, name))
            return &section;
    }
    return nullptr;
}

inline std::string_view toView(QByteArrayView bytes) {
    return {bytes.data(), static_cast<size_t>(bytes.size())};
}

} // namespace fuzz
