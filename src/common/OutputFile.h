#pragma once

#include <QFile>
#include <QString>

#include <cstddef>

// The output file of a run. Each slice of addresses is appended with one
// open-append-close; a write that fails part-way (disk full, file too large) is cut
// back to where the slice began, so the file only ever holds whole lines.
class OutputFile {
public:
    enum class Prepared { Ready, NotAFile, CannotDelete };

    // Removes an existing regular file (or the file a link points to is replaced by
    // a new one). A directory, device or other non-regular path is refused and
    // nothing is deleted.
    static Prepared prepare(const QString& path);

    explicit OutputFile(QString path) : path_(std::move(path)) {}

    // Opens for appending (creating the file), writes data whole or not at all, closes.
    bool appendSlice(const char* data, std::size_t size);

    // The same in steps, for a slice written in several pieces: open, write, and on a
    // failed write roll back before closing.
    bool open();
    bool write(const char* data, std::size_t size);
    // Cuts the file back to its size at open() (used after a failed write).
    void rollBack();
    void close();

private:
    QString path_;
    QFile file_;
    qint64 sliceStart_ = 0;
};
