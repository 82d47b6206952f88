/* Makes one chosen write, flush or rename of a process fail, as a full or
 * failing medium would. Loaded with LD_PRELOAD into a helper process; it
 * counts only the operations on files under one folder:
 *
 *   FAULT_PREFIX  the folder (its canonical path) whose files count
 *   FAULT_AT      the number of the operation that fails (1 is the first);
 *                 0 lets every one through and only counts
 *   FAULT_ERRNO   the error it fails with (ENOSPC, EIO, ...)
 *   FAULT_REPORT  a file that receives "<operations counted> <fired>" at exit
 *   FAULT_TRACE   when set, each counted operation is named on standard error
 *   FAULT_FLIP    a file offset: the byte written there is inverted, as by a
 *                 stick that silently corrupts what it stores
 *   FAULT_SLOW    microseconds of wait before each kernel copy, which then
 *                 moves at most 16 KiB: a stick's pace, for a writer to overlap
 *   FAULT_DETACH  when set, the failing operation also unmounts the volume
 *                 mounted at FAULT_PREFIX, lazily: a stick pulled mid-write
 *                 whose mount folder stays behind
 *
 * With FAULT_FLIP the kernel copy is refused as across file systems, so the
 * bytes pass through the writes it can change.
 * Writes, positioned writes, vector writes, kernel copies, truncations, fsync, fdatasync and
 * renames count; reads and opens do not. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static char prefix[PATH_MAX];
static size_t prefixLength;
static long failAt;
static int failWith = EIO;
static long counted;
static int fired;
static int trace;
static long long flipAt = -1;
static long slow;
static int detach;

__attribute__((constructor)) static void start(void)
{
    const char* p = getenv("FAULT_PREFIX");
    if (p && realpath(p, prefix))
        prefixLength = strlen(prefix);
    const char* at = getenv("FAULT_AT");
    failAt = at ? atol(at) : 0;
    const char* e = getenv("FAULT_ERRNO");
    if (e)
        failWith = atoi(e);
    trace = getenv("FAULT_TRACE") != NULL;
    const char* flip = getenv("FAULT_FLIP");
    if (flip)
        flipAt = atoll(flip);
    const char* pace = getenv("FAULT_SLOW");
    slow = pace ? atol(pace) : 0;
    detach = getenv("FAULT_DETACH") != NULL;
}

__attribute__((destructor)) static void finish(void)
{
    const char* report = getenv("FAULT_REPORT");
    if (!report)
        return;
    FILE* f = fopen(report, "w");
    if (!f)
        return;
    fprintf(f, "%ld %d\n", counted, fired);
    fclose(f);
}

static int underPrefix(const char* path)
{
    if (!prefixLength)
        return 0;
    return strncmp(path, prefix, prefixLength) == 0 &&
           (path[prefixLength] == '/' || path[prefixLength] == '\0');
}

static int fdUnderPrefix(int fd)
{
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    return underPrefix(path);
}

static int pathUnderPrefix(const char* path)
{
    char real[PATH_MAX];
    return underPrefix(realpath(path, real) ? real : path);
}

/* Counts one operation on a file that matters; true when it is to fail. */
static int countAndFail(int matters, const char* what, int fd, const char* path)
{
    if (!matters)
        return 0;
    ++counted;
    if (trace) {
        char link[64], name[PATH_MAX] = "";
        if (!path) {
            snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
            const ssize_t n = readlink(link, name, sizeof name - 1);
            name[n > 0 ? n : 0] = '\0';
            path = name;
        }
        dprintf(2, "fault-shim: %ld %s %s\n", counted, what, path);
    }
    if (failAt > 0 && counted == failAt) {
        fired = 1;
        if (detach && umount2(prefix, MNT_DETACH) != 0)
            dprintf(2, "fault-shim: cannot unmount %s\n", prefix);
        errno = failWith;
        return 1;
    }
    return 0;
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

/* Writes n bytes at offset at (the current offset when at < 0) with the byte
 * at flipAt inverted, when the write covers it. */
static ssize_t writeFlipped(int fd, const void* buf, size_t n, off64_t at)
{
    const off64_t start = at >= 0 ? at : lseek64(fd, 0, SEEK_CUR);
    if (start < 0 || flipAt < start || flipAt >= start + (off64_t)n)
        return -2;
    unsigned char* copy = malloc(n);
    if (!copy)
        return -2;
    memcpy(copy, buf, n);
    copy[flipAt - start] ^= 0xff;
    const ssize_t written = at >= 0 ? NEXT(pwrite64)(fd, copy, n, at) : NEXT(write)(fd, copy, n);
    free(copy);
    return written;
}

ssize_t write(int fd, const void* buf, size_t n)
{
    const int matters = fdUnderPrefix(fd);
    if (countAndFail(matters, "write", fd, NULL))
        return -1;
    const ssize_t flipped = matters && flipAt >= 0 ? writeFlipped(fd, buf, n, -1) : -2;
    return flipped != -2 ? flipped : NEXT(write)(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at)
{
    const int matters = fdUnderPrefix(fd);
    if (countAndFail(matters, "pwrite", fd, NULL))
        return -1;
    const ssize_t flipped = matters && flipAt >= 0 ? writeFlipped(fd, buf, n, at) : -2;
    return flipped != -2 ? flipped : NEXT(pwrite)(fd, buf, n, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t at)
{
    const int matters = fdUnderPrefix(fd);
    if (countAndFail(matters, "pwrite64", fd, NULL))
        return -1;
    const ssize_t flipped = matters && flipAt >= 0 ? writeFlipped(fd, buf, n, at) : -2;
    return flipped != -2 ? flipped : NEXT(pwrite64)(fd, buf, n, at);
}

ssize_t writev(int fd, const struct iovec* iov, int count)
{
    if (countAndFail(fdUnderPrefix(fd), "writev", fd, NULL))
        return -1;
    return NEXT(writev)(fd, iov, count);
}

ssize_t copy_file_range(int in, off64_t* inAt, int fd, off64_t* outAt, size_t n, unsigned int flags)
{
    const int matters = fdUnderPrefix(fd);
    if (countAndFail(matters, "copy_file_range", fd, NULL))
        return -1;
    if (matters && flipAt >= 0) {
        errno = EXDEV;
        return -1;
    }
    if (matters && slow > 0) {
        usleep((useconds_t)slow);
        n = n < 16384 ? n : 16384;
    }
    return NEXT(copy_file_range)(in, inAt, fd, outAt, n, flags);
}

int ftruncate(int fd, off_t length)
{
    if (countAndFail(fdUnderPrefix(fd), "ftruncate", fd, NULL))
        return -1;
    return NEXT(ftruncate)(fd, length);
}

int ftruncate64(int fd, off64_t length)
{
    if (countAndFail(fdUnderPrefix(fd), "ftruncate64", fd, NULL))
        return -1;
    return NEXT(ftruncate64)(fd, length);
}

int fsync(int fd)
{
    if (countAndFail(fdUnderPrefix(fd), "fsync", fd, NULL))
        return -1;
    return NEXT(fsync)(fd);
}

int fdatasync(int fd)
{
    if (countAndFail(fdUnderPrefix(fd), "fdatasync", fd, NULL))
        return -1;
    return NEXT(fdatasync)(fd);
}

int rename(const char* from, const char* to)
{
    if (countAndFail(pathUnderPrefix(from), "rename", -1, from))
        return -1;
    return NEXT(rename)(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    if (countAndFail(fromDir == AT_FDCWD && pathUnderPrefix(from), "renameat", -1, from))
        return -1;
    return NEXT(renameat)(fromDir, from, toDir, to);
}
