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
    // failed write cut back before closing.
    bool open();
    // Appends data; returns how many of its bytes reached the file: all of them, or
    // fewer when the disk is full or the file-size limit is reached.
    std::size_t write(const char* data, std::size_t size);
    // Cuts the file back to `kept` bytes past its size at open(): 0 takes the whole
    // slice back. False when the file could not be cut.
    bool cutBack(qint64 kept = 0);
    void close();

private:
    QString path_;
    QFile file_;
    qint64 sliceStart_ = 0;
};
