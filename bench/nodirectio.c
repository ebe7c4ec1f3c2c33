/* Makes a program take its page-cache path on any file system: setting O_DIRECT with
 * fcntl(F_SETFL) fails with EINVAL, as it does where the file system has no direct I/O.
 * bench/diskspeed.sh builds it and loads it with LD_PRELOAD. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

static int forward(const char* name, int fd, int cmd, long arg) {
    int (*real)(int, int, ...) = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);
    return real(fd, cmd, arg);
}

static int refuse(int cmd, long arg) {
    if (cmd == F_SETFL && (arg & O_DIRECT) != 0) {
        errno = EINVAL;
        return 1;
    }
    return 0;
}

int fcntl(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    const long arg = va_arg(args, long);
    va_end(args);
    return refuse(cmd, arg) ? -1 : forward("fcntl", fd, cmd, arg);
}

int fcntl64(int fd, int cmd, ...) {
    va_list args;
    va_start(args, cmd);
    const long arg = va_arg(args, long);
    va_end(args);
    return refuse(cmd, arg) ? -1 : forward("fcntl64", fd, cmd, arg);
}
