/* Faults in the writev calls a program makes on one file, and a record of them: a
 * library the tests put in front of the C library (LD_PRELOAD), Linux only.
 *
 *   KORVANI_SHIM_FILE=PATH   the file whose writev calls are watched (by its identity, so
 *                            that the path need not exist before the program makes it)
 *   KORVANI_SHIM_SHORT=N     the N-th watched call that writes two parts or more, the
 *                            first of two bytes or more, writes half of its first part
 *                            (at least one byte, one less than the part) and returns
 *                            that; the calls after it go through
 *   KORVANI_SHIM_EINTR=N     the N-th watched call fails with EINTR, writing nothing
 *   KORVANI_SHIM_FULL=N      the disk fills at the N-th watched call: that call writes
 *                            half of its first part (at least one byte) and returns that;
 *                            every later one fails with ENOSPC, writing nothing
 *   KORVANI_SHIM_LOG=PATH    appends one line for each watched call:
 *                              "write <offset> <bytes>"   a call and what it wrote, at the
 *                                                         file's size before it
 *                              "short <offset> <bytes>"   a call the shim cut short
 *                              "interrupted <offset>"     a call the shim failed with EINTR
 *                              "full <offset>"            a call the shim failed with ENOSPC
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

typedef ssize_t (*writev_function)(int, const struct iovec*, int);

static long watched_calls;  /* every watched call so far */
static long gathered_calls; /* those of two parts or more */

static long number_in(const char* variable) {
    const char* value = getenv(variable);
    return value ? strtol(value, NULL, 10) : 0;
}

/* Whether fd is the watched file; its size before the call goes to size. */
static int watched(int fd, long long* size) {
    const char* path = getenv("KORVANI_SHIM_FILE");
    struct stat named, open;
    if (path == NULL || stat(path, &named) != 0 || fstat(fd, &open) != 0)
        return 0;
    *size = (long long)open.st_size;
    return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

static void record(const char* what, long long offset, long long bytes) {
    const char* path = getenv("KORVANI_SHIM_LOG");
    if (path == NULL)
        return;
    char line[96];
    const int length = bytes < 0
                           ? snprintf(line, sizeof line, "%s %lld\n", what, offset)
                           : snprintf(line, sizeof line, "%s %lld %lld\n", what, offset, bytes);
    const int log = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (log < 0)
        return;
    if (write(log, line, (size_t)length) != length)
        errno = 0; /* a record lost shows as a missing line */
    close(log);
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
    static writev_function next;
    if (next == NULL) {
        void* found = dlsym(RTLD_NEXT, "writev"); /* ISO C casts no data pointer to a function */
        memcpy(&next, &found, sizeof next);
    }
    long long size = 0;
    if (!watched(fd, &size))
        return next(fd, parts, count);
    ++watched_calls;
    if (watched_calls == number_in("KORVANI_SHIM_EINTR")) {
        record("interrupted", size, -1);
        errno = EINTR;
        return -1;
    }
    const long full = number_in("KORVANI_SHIM_FULL");
    if (full > 0 && watched_calls > full) {
        record("full", size, -1);
        errno = ENOSPC;
        return -1;
    }
    if (watched_calls == full) {
        const struct iovec half = {parts[0].iov_base, (parts[0].iov_len + 1) / 2};
        const ssize_t written = next(fd, &half, 1);
        record("short", size, (long long)written);
        return written;
    }
    if (count >= 2 && parts[0].iov_len >= 2 &&
        ++gathered_calls == number_in("KORVANI_SHIM_SHORT")) {
        const struct iovec half = {parts[0].iov_base, parts[0].iov_len / 2};
        const ssize_t written = next(fd, &half, 1);
        record("short", size, (long long)written);
        return written;
    }
    const int saved = errno;
    const ssize_t written = next(fd, parts, count);
    const int error = errno;
    record("write", size, (long long)(written < 0 ? 0 : written));
    errno = written < 0 ? error : saved;
    return written;
}
