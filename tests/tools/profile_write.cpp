// A second process that writes a settings file, for the tests of the writers' lock,
// of permissions (run as an unprivileged user) and of a writer that dies mid-write.
//
//   profile_write write  <file> <section> <key> <value>   exit code = the write's result
//   profile_write delete <file> <section> <key>           exit code = the delete's result
//   profile_write add-many <file> <section> <prefix> <count>
//                         adds <prefix>0 .. <prefix><count-1>; exit 0 when every write
//                         returned 1, otherwise 1
//   profile_write crash  <file> <section> <key> <value>   dies (exit 42) after the new
//                         content is written and before it replaces the file
//   profile_write churn  <file> <section> <key> <size>    rewrites the key with values
//                         of <size> 'a's and 'b's in turn until killed
#include "platform/ProfileFile.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

using platform::ProfileFile;

namespace {

int usage() {
    std::fprintf(stderr, "usage: profile_write write|delete|add-many|crash|churn <file> ...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5)
        return usage();
    const char* mode = argv[1];
    const QString file = QString::fromLocal8Bit(argv[2]);
    const QByteArray section = argv[3];

    if (std::strcmp(mode, "write") == 0 && argc == 6) {
        const int result = ProfileFile::writeString(file, section, argv[4], argv[5]);
        std::printf("result=%d\n", result);
        return result;
    }
    if (std::strcmp(mode, "delete") == 0 && argc == 5) {
        const int result = ProfileFile::deleteKey(file, section, argv[4]);
        std::printf("result=%d\n", result);
        return result;
    }
    if (std::strcmp(mode, "add-many") == 0 && argc == 6) {
        const int count = std::atoi(argv[5]);
        int failures = 0;
        for (int i = 0; i < count; ++i) {
            const QByteArray key = QByteArray(argv[4]) + QByteArray::number(i);
            if (ProfileFile::writeString(file, section, key, QByteArrayView()) != 1)
                ++failures;
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
