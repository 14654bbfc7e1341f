// Temporary file + fsync + rename, and a bounded whole-file reader that never blocks on a FIFO.
#include "io/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace gw {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The cause of a failed write in words; the folder is named where the folder is the problem.
std::string causeOf(int err, const std::string& folder) {
    switch (err) {
        case ENOSPC:
        case EDQUOT:
            return "the disk is full; free some space or save to another disk";
        case EFBIG:
            return "the file is larger than this disk or the system allows; save to another disk";
        case EACCES:
        case EPERM:
            return "there is no permission to write in the folder \"" + folder +
                   "\"; choose another folder or change its permissions";
        case EROFS:
            return "the folder \"" + folder + "\" is on a read-only disk; save to another disk";
        case ENOENT:
        case ENOTDIR:
            return "the folder \"" + folder + "\" does not exist";
        case EISDIR:
            return "a folder of that name already exists";
        case EIO:
            return "the disk reported an input/output error";
        case ENAMETOOLONG:
            return "the file name is too long";
        default:
            return std::strerror(err);
    }
}

void setError(std::string* error, const std::string& path, const std::string& cause) {
    if (error) *error = "Could not save \"" + path + "\": " + cause + ".";
}

// Creates a new, empty file beside the target with a name nobody else uses. The mode 0666 lets the
// umask decide the permissions, as for any new file.
int createTemporary(const std::string& folder, const std::string& base, std::string& tmpPath) {
    static thread_local std::mt19937_64 rng{std::random_device{}() ^ static_cast<uint64_t>(getpid())};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 8; ++i) suffix += digits[rng() % 36];
        tmpPath = (folder == "/" ? "" : folder) + "/." + base + ".tmp-" + suffix;
        const int fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, std::string_view data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {  // no progress and no error: the device took nothing more
            errno = ENOSPC;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& requested, std::string_view data, std::string* error) {
    if (requested.empty()) {
        setError(error, requested, "no file name was given");
        return false;
    }
    // Replace the file a symbolic link points to, not the link itself.
    std::string path = requested;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        setError(error, requested, causeOf(EISDIR, folderOf(path)));
        return false;
    }

    const std::string folder = folderOf(path);
    std::string tmpPath;
    const int fd = createTemporary(folder, baseOf(path), tmpPath);
    if (fd < 0) {
        setError(error, requested, causeOf(errno, folder));
        return false;
    }
    // The new file keeps the permissions of the one it replaces.
    if (exists) (void)::fchmod(fd, st.st_mode & 07777);

    int err = 0;
    if (!writeAll(fd, data)) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmpPath.c_str(), path.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(tmpPath.c_str());
        setError(error, requested, causeOf(err, folder));
        return false;
    }
    // Make the rename itself durable; a failure here cannot undo the save, so it is not reported.
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool readWholeFile(const std::string& path, std::string& out, std::string* error, std::size_t maxBytes) {
    out.clear();
    auto fail = [&](const std::string& cause) {
        out.clear();
        if (error) *error = "Could not read \"" + path + "\": " + cause + ".";
        return false;
    };
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int e = errno;
        return fail(e == ENOENT ? "the file does not exist" : std::strerror(e));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("it is not a regular file");
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        return fail("the file is too large");
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            return fail(std::strerror(e));
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {  // the file grew while reading
            ::close(fd);
            return fail("the file is too large");
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace gw
