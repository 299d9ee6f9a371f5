/* Preloaded into a child process to stop it at an exact point of its output:
 * once QUORVANE_STALL_AFTER bytes have gone to regular files (by write or by
 * pwrite, from any thread), it writes one byte to the pipe QUORVANE_STALL_FD
 * and waits forever, so the test can kill it in the middle of writing.
 * Nothing else changes. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long long written;
/* Writers from several threads take turns, so the limit falls exactly. */
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static int IsRegular(int fd)
{
    struct stat st;
    /* Standard output and error may be files too; only the program's own outputs count. */
    return fd > 2 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

static ssize_t (*RealWrite(void))(int, const void*, size_t)
{
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    return real;
}

static void Stall(void)
{
    const char* fd = getenv("QUORVANE_STALL_FD");
    if (fd) RealWrite()(atoi(fd), "!", 1);
    for (;;) pause();
}

/* How many of `n` bytes may still go out before the stall; -1: no limit applies. */
static long long Allowance(int fd, size_t n)
{
    const char* after = getenv("QUORVANE_STALL_AFTER");
    if (!after || !IsRegular(fd)) return -1;
    const long long limit = atoll(after);
    if (written + (long long)n < limit) return -1;
    return limit > written ? limit - written : 0;
}

static ssize_t (*RealPwrite(void))(int, const void*, size_t, off_t)
{
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
    return real;
}

/* write (offset < 0) or pwrite, counted against the limit. */
static ssize_t Put(int fd, const void* buf, size_t n, off_t offset)
{
    pthread_mutex_lock(&lock);
    const long long allowed = Allowance(fd, n);
    const size_t now = allowed < 0 ? n : (size_t)allowed;
    const ssize_t r = now == 0 ? 0 : offset < 0 ? RealWrite()(fd, buf, now) : RealPwrite()(fd, buf, now, offset);
    if (r > 0 && IsRegular(fd)) written += r;
    pthread_mutex_unlock(&lock);
    if (allowed >= 0) Stall();
    return r;
}

ssize_t write(int fd, const void* buf, size_t n)
{
    return Put(fd, buf, n, -1);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset)
{
    return offset < 0 ? RealPwrite()(fd, buf, n, offset) : Put(fd, buf, n, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t offset)
{
    return pwrite(fd, buf, n, offset);
}

ssize_t writev(int fd, const struct iovec* iov, int count)
{
    /* One piece at a time through write, so the limit falls where it should. */
    ssize_t total = 0;
    for (int i = 0; i < count; ++i) {
        const ssize_t r = write(fd, iov[i].iov_base, iov[i].iov_len);
        if (r < 0) return total > 0 ? total : r;
        total += r;
        if ((size_t)r < iov[i].iov_len) break;
    }
    return total;
}
