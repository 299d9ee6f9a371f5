/* Preloaded into a child to fail its file access at an exact point.
 * QUORVANE_FAIL_CALL=N: the N-th file-system call on a file under QUORVANE_FAULT_DIR fails with EIO
 * (a close still closes), and a line "call kind" goes to QUORVANE_FAULT_LOG; kind is dir, read,
 * unwritten or written for the descriptor's file (written: a write or a flush went through it),
 * path for calls by name; with QUORVANE_FAULT_STDOUT=1, stdout for writes to standard output.
 * QUORVANE_NO_NOREPLACE=1: a rename that must not replace fails with EINVAL, uncounted.
 * QUORVANE_KILL_AFTER=B: once B bytes went to files, the child is sent SIGKILL there, or the signal
 * numbered QUORVANE_KILL_SIGNAL.
 * QUORVANE_COUNT_LOG: at exit, "B W" goes there: B bytes read from files under the folder, W files opened there
 * for writing.
 * Another user who may write the folder, uncounted: QUORVANE_NO_TMPFILE=1 makes unnamed files unsupported;
 * QUORVANE_PLANT=file or link plants a file holding "planted", or a link to QUORVANE_VICTIM, at the first
 * temporary name the program creates, just before; QUORVANE_SWAP=file or link puts one in the place of a
 * temporary file just before it is renamed. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#define REAL(name)                        \
    static __typeof__(&name) real_##name; \
    if (!real_##name) real_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

static char kinds[4096]; /* per descriptor under the folder: 0, 'd', 'r', 'u' (unwritten), 'w' or 'o' (stdout) */
static long calls, written, readBytes, writableOpens;

static const char* Kind(int fd)
{
    if (fd < 0 || fd >= 4096 || !kinds[fd]) return NULL;
    switch (kinds[fd]) {
    case 'd':
        return "dir";
    case 'r':
        return "read";
    case 'u':
        return "unwritten";
    case 'o':
        return "stdout";
    }
    return "written";
}

__attribute__((constructor)) static void WatchStandardOutput(void)
{
    const char* watch = getenv("QUORVANE_FAULT_STDOUT");
    if (watch && *watch == '1') kinds[STDOUT_FILENO] = 'o';
}

/* The shim's own look at a descriptor is no call of the program's. */
static int RealFstat(int fd, struct stat* st)
{
    static int (*real)(int, struct stat*);
    if (!real) real = (int (*)(int, struct stat*))dlsym(RTLD_NEXT, "fstat");
    return real(fd, st);
}

static int Under(const char* path)
{
    const char* dir = getenv("QUORVANE_FAULT_DIR");
    return dir && path && strncmp(path, dir, strlen(dir)) == 0;
}

/* True when this call is the one to fail; it is then logged. */
static int Fails(const char* call, const char* kind)
{
    const char* n = getenv("QUORVANE_FAIL_CALL");
    if (!n || !kind || __atomic_add_fetch(&calls, 1, __ATOMIC_SEQ_CST) != atol(n)) return 0;
    FILE* log = fopen(getenv("QUORVANE_FAULT_LOG"), "a");
    if (log) fprintf(log, "%s %s\n", call, kind), fclose(log);
    errno = EIO;
    return 1;
}

static void Track(int fd, const char* path, int flags)
{
    struct stat st;
    if (fd >= 0 && fd < 4096 && Under(path))
        kinds[fd] = RealFstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? 'd' : (flags & O_ACCMODE) == O_RDONLY ? 'r' : 'u';
    if (fd >= 0 && fd < 4096 && kinds[fd] == 'u') __atomic_add_fetch(&writableOpens, 1, __ATOMIC_SEQ_CST);
}

__attribute__((destructor)) static void LogCounts(void)
{
    const char* path = getenv("QUORVANE_COUNT_LOG");
    FILE* log = path ? fopen(path, "w") : NULL;
    if (log) fprintf(log, "%ld %ld\n", readBytes, writableOpens), fclose(log);
}

/* Counts bytes that went to regular files (not standard output or error); past the limit the
 * process ends there, as a power cut or the kernel's out-of-memory killer would end it. */
static void KillPast(int fd, long n)
{
    const char* after = getenv("QUORVANE_KILL_AFTER");
    struct stat st;
    if (!after || fd <= 2 || RealFstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
    const long limit = atol(after), now = __atomic_add_fetch(&written, n, __ATOMIC_SEQ_CST);
    const char* signal = getenv("QUORVANE_KILL_SIGNAL");
    if (now >= limit && now - n < limit) kill(getpid(), signal ? atoi(signal) : SIGKILL);
}

static int Is(const char* variable, const char* value)
{
    const char* set = getenv(variable);
    return set && strcmp(set, value) == 0;
}

/* Puts a file holding `text`, or a link to QUORVANE_VICTIM, at `path`, as another user could. */
static void Plant(const char* path, int link, const char* text)
{
    REAL(open);
    if (link) {
        symlink(getenv("QUORVANE_VICTIM"), path);
        return;
    }
    const int fd = real_open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) write(fd, text, strlen(text)), close(fd);
}

static int EndsWith(const char* path, const char* end)
{
    return path && strlen(path) >= strlen(end) && strcmp(path + strlen(path) - strlen(end), end) == 0;
}

static void Intrude(const char* path, int flags)
{
    static int planted;
    if ((flags & O_CREAT) && EndsWith(path, ".quorvane.tmp") && !planted && getenv("QUORVANE_PLANT"))
        planted = 1, Plant(path, Is("QUORVANE_PLANT", "link"), "planted");
}

#define OPEN(name, ...)                                                                          \
    int name(__VA_ARGS__, int flags, ...)                                                        \
    {                                                                                            \
        va_list args;                                                                            \
        va_start(args, flags);                                                                   \
        const mode_t mode = va_arg(args, mode_t);                                                \
        va_end(args);                                                                            \
        if ((flags & O_TMPFILE) == O_TMPFILE && Is("QUORVANE_NO_TMPFILE", "1")) {                \
            errno = EOPNOTSUPP;                                                                  \
            return -1;                                                                           \
        }                                                                                        \
        Intrude(path, flags);                                                                    \
        if (Fails(#name, !Under(path) ? NULL : flags & O_DIRECTORY ? "dir" : "path")) return -1; \
        REAL(name);                                                                              \
        const int fd = real_##name(CALL_ARGS, flags, mode);                                      \
        Track(fd, path, flags);                                                                  \
        return fd;                                                                               \
    }
#define CALL_ARGS path
OPEN(open, const char* path)
#undef CALL_ARGS
#define CALL_ARGS dirfd, path
OPEN(openat, int dirfd, const char* path)

FILE* fopen64(const char* path, const char* mode)
{
    if (Fails("fopen64", Under(path) ? "path" : NULL)) return NULL;
    REAL(fopen64);
    FILE* f = real_fopen64(path, mode);
    if (f) Track(fileno(f), path, mode[0] == 'r' && !strchr(mode, '+') ? O_RDONLY : O_WRONLY);
    return f;
}

#define FD_CALL(ret, name, params, args, writes)                                           \
    ret name params                                                                        \
    {                                                                                      \
        if (Fails(#name, Kind(fd))) return -1;                                             \
        REAL(name);                                                                        \
        const ret r = real_##name args;                                                    \
        if (writes && r >= 0 && fd >= 0 && fd < 4096 && kinds[fd] == 'u') kinds[fd] = 'w'; \
        if (writes && r > 0 && #name[0] != 'f') KillPast(fd, (long)r);                     \
        if (!writes && r > 0 && (#name[0] == 'r' || #name[0] == 'p') && Kind(fd))          \
            __atomic_add_fetch(&readBytes, (long)r, __ATOMIC_SEQ_CST);                     \
        return r;                                                                          \
    }
FD_CALL(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n), 0)
FD_CALL(ssize_t, pread, (int fd, void* b, size_t n, off_t at), (fd, b, n, at), 0)
FD_CALL(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n), 1)
FD_CALL(ssize_t, writev, (int fd, const struct iovec* v, int n), (fd, v, n), 1)
FD_CALL(ssize_t, pwrite, (int fd, const void* b, size_t n, off_t at), (fd, b, n, at), 1)
FD_CALL(int, fsync, (int fd), (fd), 1)
FD_CALL(int, fchmod, (int fd, mode_t m), (fd, m), 0)
FD_CALL(int, fstat, (int fd, struct stat* st), (fd, st), 0)
FD_CALL(int, fstat64, (int fd, struct stat64* st), (fd, st), 0)
FD_CALL(off_t, lseek, (int fd, off_t at, int whence), (fd, at, whence), 0)
FD_CALL(off64_t, lseek64, (int fd, off64_t at, int whence), (fd, at, whence), 0)

int mkostemp(char* path, int flags)
{
    if (Fails("mkostemp", Under(path) ? "path" : NULL)) return -1;
    REAL(mkostemp);
    const int fd = real_mkostemp(path, flags);
    Track(fd, path, O_RDWR);
    return fd;
}

int close(int fd)
{
    const int fails = Fails("close", Kind(fd));
    if (fd >= 0 && fd < 4096) kinds[fd] = 0;
    REAL(close);
    const int r = real_close(fd);
    return fails ? (errno = EIO, -1) : r;
}

int fclose(FILE* f)
{
    const int fd = fileno(f), fails = Fails("fclose", Kind(fd));
    if (fd >= 0 && fd < 4096) kinds[fd] = 0;
    REAL(fclose);
    const int r = real_fclose(f);
    return fails ? (errno = EIO, EOF) : r;
}

#define PATH_CALL(name, params, args, path1, path2)                                \
    int name params                                                                \
    {                                                                              \
        if (Fails(#name, Under(path1) || Under(path2) ? "path" : NULL)) return -1; \
        REAL(name);                                                                \
        return real_##name args;                                                   \
    }
int rename(const char* a, const char* b)
{
    if (EndsWith(a, ".quorvane.tmp") && getenv("QUORVANE_SWAP")) {
        unlink(a);
        Plant(a, Is("QUORVANE_SWAP", "link"), "swapped");
    }
    if (Fails("rename", Under(a) || Under(b) ? "path" : NULL)) return -1;
    REAL(rename);
    return real_rename(a, b);
}
PATH_CALL(stat, (const char* a, struct stat* st), (a, st), a, NULL)
PATH_CALL(lstat, (const char* a, struct stat* st), (a, st), a, NULL)

/* QUORVANE_NO_NOREPLACE: a file system without the no-replace flag, as some network ones are. */
int renameat2(int da, const char* a, int db, const char* b, unsigned f)
{
    const char* noReplace = getenv("QUORVANE_NO_NOREPLACE");
    if (noReplace && *noReplace == '1' && (f & RENAME_NOREPLACE)) return errno = EINVAL, -1;
    if (Fails("renameat2", Under(a) || Under(b) ? "path" : NULL)) return -1;
    REAL(renameat2);
    return real_renameat2(da, a, db, b, f);
}
PATH_CALL(link, (const char* a, const char* b), (a, b), a, b)
PATH_CALL(linkat, (int da, const char* a, int db, const char* b, int f), (da, a, db, b, f), a, b)
PATH_CALL(unlink, (const char* a), (a), a, NULL)
PATH_CALL(unlinkat, (int d, const char* a, int f), (d, a, f), a, NULL)
