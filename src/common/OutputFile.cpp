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

bool OutputFile::write(const char* data, std::size_t size) {
    const auto wanted = static_cast<qint64>(size);
    return file_.write(data, wanted) == wanted;
}

void OutputFile::rollBack() {
    file_.resize(sliceStart_);
}

void OutputFile::close() {
    file_.close();
}

bool OutputFile::appendSlice(const char* data, std::size_t size) {
    if (!open())
        return false;
    const bool written = write(data, size);
    if (!written)
        rollBack();
    close();
    return written;
}
