// A folder on a nearly full disk, for proving that every save survives running out of space.
//
// As root, a tiny tmpfs (64 KiB) is mounted on a fresh temporary folder and unmounted afterwards:
// that is a real full disk (ENOSPC). Where mounting is not allowed, a file-size limit of 64 KiB
// (RLIMIT_FSIZE, EFBIG) gives the same failure; that limit can only be set for a whole process, so
// attempt() then runs the save in a forked child and brings back what it answered.
#pragma once

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>

#include "io/TempDir.h"

namespace gw::test {

class FullDisk {
public:
    static constexpr long kBytes = 64 * 1024;

    FullDisk() {
        const std::string opts = "size=" + std::to_string(kBytes);
        mounted_ = ::mount("tmpfs", dir().c_str(), "tmpfs", 0, opts.c_str()) == 0;
    }
    // Unmounted before the folder itself is removed.
    ~FullDisk() {
        if (mounted_) ::umount2(dir().c_str(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& dir() const { return folder_.path(); }
    std::string file(const std::string& name) const { return folder_.file(name); }
    void write(const std::string& name, const std::string& bytes) const { folder_.write(name, bytes); }
    std::string read(const std::string& name) const { return folder_.read(name); }
    int entries() const { return folder_.entries(); }

    // Runs `save` where more than kBytes cannot be written and answers its text.
    std::string attempt(const std::function<std::string()>& save) const {
        if (mounted_) return save();
        int fds[2];
        if (::pipe(fds) != 0) return "pipe failed";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit lim {static_cast<rlim_t>(kBytes), static_cast<rlim_t>(kBytes)};
            std::string out = ::setrlimit(RLIMIT_FSIZE, &lim) == 0 ? save() : "no limit";
            if (::write(fds[1], out.data(), out.size()) < 0) _exit(1);
            _exit(0);
        }
        ::close(fds[1]);
        std::string out;
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return out;
    }

private:
    TempDir folder_;
    bool mounted_ = false;
};

}  // namespace gw::test
