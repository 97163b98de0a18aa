#pragma once
// Small file systems mounted over a harness folder for the fault tests: a tmpfs of a few
// kilobytes (a full disk) and a read-only bind mount. Mounting needs root in a mount
// namespace that allows it; where it does not, the guard reports why and the test skips.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace kestrom::testing {

class CMountGuard {
  public:
    CMountGuard() = default;
    CMountGuard(const CMountGuard&) = delete;
    CMountGuard& operator=(const CMountGuard&) = delete;
    ~CMountGuard() {
        if (!target_.empty()) ::umount2(target_.c_str(), MNT_DETACH);
    }

    // A tmpfs of `size` (e.g. "64k") over `dir`.
    bool MountTmpfs(const std::string& dir, const std::string& size) {
        const std::string options = "size=" + size + ",mode=0777";
        if (::mount("kestrom-fault", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return Failed("mount -t tmpfs");
        target_ = dir;
        return true;
    }

    // `dir` bound over itself, then made read-only; its files stay readable.
    bool MountReadOnly(const std::string& dir) {
        if (::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return Failed("mount --bind");
        target_ = dir;
        if (::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return Failed("mount -o remount,bind,ro");
        return true;
    }

    // Why the last mount failed, for GTEST_SKIP.
    const std::string& Reason() const { return reason_; }

  private:
    bool Failed(const char* what) {
        reason_ = std::string(what) + " is not permitted here (" + std::strerror(errno) +
                  "); this fault test needs root with mount rights";
        return false;
    }

    std::string target_;
    std::string reason_;
};

}  // namespace kestrom::testing
