/* The opens of an unnamed file (O_TMPFILE) straight to the kernel, with the mode the
 * program gave: a library make faults puts in front of libfiu's (LD_PRELOAD), Linux only.
 * libfiu's open wrapper reads the mode only with O_CREAT, so under it an unnamed file
 * would be made with mode 000, which no program of ours asked for. Those opens get no
 * injected failure (strace fails them, in make faults' other rows); every other open
 * goes on to libfiu.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

typedef int (*open_function)(const char*, int, ...);

static int opened(const char* name, const char* path, int flags, mode_t mode) {
    if ((flags & O_TMPFILE) == O_TMPFILE)
        return (int)syscall(SYS_openat, AT_FDCWD, path, flags, mode);
    open_function next;
    void* found = dlsym(RTLD_NEXT, name); /* ISO C casts no data pointer to a function */
    memcpy(&next, &found, sizeof next);
    return next(path, flags, mode);
}

#define MODE_OF(flags, mode)                                                                       \
    do {                                                                                           \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE                          \
                   ? (mode_t)va_arg(arguments, int)                                                \
                   : 0;                                                                            \
        va_end(arguments);                                                                         \
    } while (0)

int open(const char* path, int flags, ...) {
    mode_t mode;
    MODE_OF(flags, mode);
    return opened("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode;
    MODE_OF(flags, mode);
    return opened("open64", path, flags, mode);
}
