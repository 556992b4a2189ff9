#include "support/TestSupport.h"

#include "platform/Installation.h"
#include "profile/ProfileLock.h"
#include "ui/RecordModel.h"

#include <QDir>
#include <QFile>

#include <future>
#include <memory>
#include <random>
#include <thread>

#include <gtest/gtest.h>

namespace testsupport {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray randomBytes(qsizetype size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void expectFileHoldsList(const QString& path, const RecordModel& list) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    char cell[RecordModel::CellCapacity];
    std::int64_t k = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ASSERT_TRUE(line.endsWith("\r\n")) << "line " << k;
        ASSERT_LT(k, list.count());
        const int n = list.formatCell(static_cast<int>(k / 4), static_cast<int>(k % 4), cell);
        ASSERT_EQ(line.chopped(2), QByteArray(cell, n)) << "line " << k;
        ++k;
    }
    EXPECT_EQ(k, list.count());
}

Undo holdWriterLock(const QString& file) {
    auto released = std::make_shared<std::promise<void>>();
    std::promise<void> taken;
    std::future<void> held = taken.get_future();
    auto holder = std::make_shared<std::thread>(
        [file, taken = std::move(taken), until = released->get_future()]() mutable {
            const profile::WriterLock lock(QFile::encodeName(file), 0);
            EXPECT_TRUE(lock.status().ok());
            taken.set_value();
            until.wait();
        });
    held.wait();
    return Undo([released, holder] {
        released->set_value();
        holder->join();
    });
}

ProgramFolder::ProgramFolder(bool withLanguageFiles, bool withSettings) {
    const QString source = QStringLiteral(KORVANI_SOURCE_DIR "/resources");
    if (withLanguageFiles) {
        QDir(dir_.path()).mkdir(QStringLiteral("language"));
        for (const char* name : {"Korvani_EN.ini", "Korvani_SC.ini", "Korvani_TC.ini"}) {
            const QString file = QString::fromLatin1(name);
            QFile::copy(source + QStringLiteral("/language/") + file, languageFile(file));
        }
    }
    if (withSettings)
        QFile::copy(source + QStringLiteral("/Korvani.ini"),
                    this->file(QStringLiteral("Korvani.ini")));
    // Copies of read-only sources must stay writable for the tests.
    for (const QString& f : QDir(dir_.path()).entryList(QDir::Files))
        QFile::setPermissions(dir_.filePath(f), QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ReadGroup | QFile::ReadOther);
    platform::Installation::setProgramFolder(dir_.path());
}

ProgramFolder::~ProgramFolder() {
    platform::Installation::setProgramFolder({});
}

QString ProgramFolder::languageFile(const QString& name) const {
    return dir_.filePath(QStringLiteral("language/") + name);
}

} // namespace testsupport
