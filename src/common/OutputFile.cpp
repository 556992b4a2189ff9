#include "common/OutputFile.h"

#include <QFileInfo>

OutputFile::Prepared OutputFile::prepare(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return Prepared::Ready;
    if (!info.isFile())
        return Prepared::NotAFile;
    return QFile::remove(path) ? Prepared::Ready : Prepared::CannotDelete;
}

bool OutputFile::open() {
    file_.setFileName(path_);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    sliceStart_ = file_.size();
    return true;
}

std::size_t OutputFile::write(const char* data, std::size_t size) {
    const qint64 reached = file_.write(data, static_cast<qint64>(size));
    return reached > 0 ? static_cast<std::size_t>(reached) : 0;
}

bool OutputFile::cutBack(qint64 kept) {
    return file_.resize(sliceStart_ + kept);
}

void OutputFile::close() {
    file_.close();
}

bool OutputFile::appendSlice(const char* data, std::size_t size) {
    if (!open())
        return false;
    const bool written = write(data, size) == size;
    if (!written)
        cutBack();
    close();
    return written;
}
