// A second process that writes a settings file, for the tests of the writers' lock,
// of permissions (run as an unprivileged user), of a writer that dies mid-write, and
// for the fault check (tests/faults/run-faults.py).
//
//   profile_write [options] write  <file> <section> <key> <value>
//   profile_write [options] delete <file> <section> <key>
//                         exit code = the call's result (1 or 0); prints "result=<it>"
//                         and, on a failure, its reason on stderr
//     --in-place          as if the folder took no temporary file
//     --seed FILE         a missing file starts as a copy of FILE
//     --meddle append|rewrite  as another program would, once the new content is ready
//                         and before it replaces the file: appends "meddled.example=" to
//                         the file (>>), or rewrites it in place with "mail." made "post."
//   profile_write list <file> <section>   prints "key <key>" for every suffix the
//                         settings section lists (empty keys left out); exit 1 when the
//                         file cannot be read
//   profile_write [--seed FILE] add-many <file> <section> <prefix> <count>
//                         adds <prefix>0 .. <prefix><count-1>; prints "failed <key>
//                         <failure>" for each that failed; exit 0 when every write
//                         returned 1, otherwise 1
//   profile_write crash  <file> <section> <key> <value>   dies (exit 42) after the new
//                         content is written and before it replaces the file
//   profile_write churn  <file> <section> <key> <size>    rewrites the key with values
//                         of <size> 'a's and 'b's in turn until killed
#include "app/SuffixFile.h"
#include "profile/ProfileFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using profile::ProfileFile;

namespace {

int usage() {
    std::fprintf(stderr, "usage: profile_write [--in-place] [--seed FILE] [--meddle HOW] "
                         "write|delete|list|add-many|crash|churn <file> ...\n");
    return 2;
}

int report(const platform::FileStatus& status) {
    std::printf("result=%d\n", status ? 1 : 0);
#ifdef _WIN32
    const char* error = nullptr; // the C library names no errno values here
#else
    const char* error = strerrorname_np(status.error);
#endif
    if (!status)
        std::fprintf(stderr, "failure %s %s\n", platform::failureName(status.failure),
                     error ? error : std::to_string(status.error).c_str());
    return status ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QString seed;
    const char* meddle = nullptr;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        if (std::strcmp(argv[first], "--in-place") == 0)
            ProfileFile::setInPlaceOnly(true);
        else if (std::strcmp(argv[first], "--seed") == 0 && first + 1 < argc)
            seed = QString::fromLocal8Bit(argv[++first]);
        else if (std::strcmp(argv[first], "--meddle") == 0 && first + 1 < argc)
            meddle = argv[++first];
        else
            return usage();
    }
    argc -= first - 1;
    argv += first - 1;
    if (argc < 4)
        return usage();
    const char* mode = argv[1];
    const QString file = QString::fromLocal8Bit(argv[2]);
    const QByteArray section = argv[3];
    if (meddle != nullptr)
        ProfileFile::setBeforeReplaceHook([meddle, file] {
            QFile other(file);
            if (std::strcmp(meddle, "append") == 0)
                return other.open(QIODevice::Append) && other.write("meddled.example=\r\n") > 0;
            if (!other.open(QIODevice::ReadWrite))
                return false;
            const QByteArray data = other.readAll().replace("mail.", "post.");
            return other.seek(0) && other.write(data) == data.size(); // same size, in place
        });

    if (std::strcmp(mode, "write") == 0 && argc == 6)
        return report(ProfileFile::setKey(file, section, argv[4], argv[5], seed));
    if (std::strcmp(mode, "delete") == 0 && argc == 5)
        return report(ProfileFile::removeKey(file, section, argv[4], seed));
    if (std::strcmp(mode, "list") == 0 && argc == 4) {
        const auto read = SuffixFile::ReadSectionKeys(file, QString::fromUtf8(section));
        for (const QString& key : read.value()) {
            if (!key.isEmpty())
                std::printf("key %s\n", key.toUtf8().constData());
        }
        return read ? 0 : 1;
    }
    if (argc < 5)
        return usage();
    if (std::strcmp(mode, "add-many") == 0 && argc == 6) {
        const int count = std::atoi(argv[5]);
        int failures = 0;
        for (int i = 0; i < count; ++i) {
            const QByteArray key = QByteArray(argv[4]) + QByteArray::number(i);
            const platform::FileStatus status =
                ProfileFile::setKey(file, section, key, QByteArrayView(), seed);
            if (!status) {
                ++failures;
                std::printf("failed %s %s\n", key.constData(),
                            platform::failureName(status.failure));
            }
        }
        std::printf("failures=%d\n", failures);
        return failures == 0 ? 0 : 1;
    }
    if (std::strcmp(mode, "crash") == 0 && argc == 6) {
        ProfileFile::setBeforeReplaceHook([] {
            std::fflush(stdout);
            ::_exit(42);
            return true;
        });
        ProfileFile::writeString(file, section, argv[4], argv[5]);
        return 3; // not reached when the hook runs
    }
    if (std::strcmp(mode, "churn") == 0 && argc == 6) {
        const int size = std::atoi(argv[5]);
        const QByteArray a(size, 'a');
        const QByteArray b(size, 'b');
        std::printf("started\n");
        std::fflush(stdout);
        for (unsigned long round = 0;; ++round) {
            if (ProfileFile::writeString(file, section, argv[4], (round % 2) ? b : a) != 1)
                return 1;
        }
    }
    return usage();
}
