#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/InstanceChecker.h"

namespace kestrom {

namespace {

constexpr std::string_view kActivateRequest = "activate\n";
constexpr std::string_view kActivateReply = "ok\n";

// $XDG_RUNTIME_DIR is private to the user. /tmp is shared, so the fallback is a folder of our
// own there, made private and checked to be ours (not somebody's symlink or folder).
std::string DefaultRuntimeDir() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && xdg[0] == '/') return xdg;
    std::string dir = "/tmp/kestrom-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        return {};
    }
    return dir;
}

void SetTimeouts(int fd, int seconds) {
    timeval tv{};
    tv.tv_sec = seconds;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Reads up to a line break (or `limit` bytes); empty on timeout or error.
std::string ReadLine(int fd, size_t limit) {
    std::string line;
    char c;
    while (line.size() < limit) {
        ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        line += c;
        if (c == '\n') break;
    }
    return line;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

struct CInstanceChecker::Impl {
    std::string name;
    std::string dir;  // empty when no usable runtime folder exists
    std::mutex mutex;
    std::function<void()> activate;
    int lockFd = -1;
    int listenFd = -1;
    int wakeFds[2] = {-1, -1};
    std::thread listener;

    std::string LockPath() const { return dir + "/" + name + ".lock"; }
    std::string SocketPath() const { return dir + "/" + name + ".sock"; }

    int OpenLockFile() const {
        if (dir.empty()) return -1;
        return ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }

    bool StartListening();
    void Serve();
    void Stop();
};

bool CInstanceChecker::Impl::StartListening() {
    sockaddr_un addr{};
    const std::string path = SocketPath();
    if (!FillAddress(path, addr)) return false;
    listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) return false;
    // Holding the lock means any socket left there belongs to a holder that has died.
    ::unlink(path.c_str());
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(listenFd, 8) != 0 ||
        ::pipe2(wakeFds, O_CLOEXEC) != 0) {
        CloseFd(listenFd);
        ::unlink(path.c_str());
        return false;
    }
    listener = std::thread([this] { Serve(); });
    return true;
}

void CInstanceChecker::Impl::Serve() {
    while (true) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFds[0], POLLIN, 0}};
        int r = ::poll(fds, 2, -1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || (fds[1].revents & (POLLIN | POLLHUP))) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        SetTimeouts(client, 1);
        // Only the same user may bring the window forward.
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 &&
            cred.uid == ::getuid() && ReadLine(client, 64) == kActivateRequest) {
            std::function<void()> callback;
            {
                std::lock_guard lock(mutex);
                callback = activate;
            }
            try {
                if (callback) callback();
            } catch (...) {
                // The front end's failure must not end the guard's thread.
            }
            ::send(client, kActivateReply.data(), kActivateReply.size(), MSG_NOSIGNAL);
        }
        ::close(client);
    }
}

void CInstanceChecker::Impl::Stop() {
    if (listener.joinable()) {
        char c = 0;
        while (::write(wakeFds[1], &c, 1) < 0 && errno == EINTR) {
        }
        listener.join();
    }
    if (listenFd >= 0) {
        CloseFd(listenFd);
        ::unlink(SocketPath().c_str());  // before the lock goes, so a successor's is not hit
    }
    CloseFd(wakeFds[0]);
    CloseFd(wakeFds[1]);
    CloseFd(lockFd);
}

CInstanceChecker::CInstanceChecker(std::string instanceName)
    : CInstanceChecker(std::move(instanceName), DefaultRuntimeDir()) {}

CInstanceChecker::CInstanceChecker(std::string instanceName, std::string runtimeDir)
    : impl_(new Impl) {
    impl_->name = std::move(instanceName);
    impl_->dir = std::move(runtimeDir);
}

CInstanceChecker::~CInstanceChecker() {
    impl_->Stop();
    delete impl_;
}

std::string CInstanceChecker::LockPath() const {
    return impl_->LockPath();
}
std::string CInstanceChecker::SocketPath() const {
    return impl_->SocketPath();
}

bool CInstanceChecker::PreviousInstanceRunning() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->lockFd >= 0) return false;  // we are the first instance
    int fd = impl_->OpenLockFile();
    if (fd < 0) return false;
    bool held = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
    } else {
        held = errno == EWOULDBLOCK;
    }
    ::close(fd);
    return held;
}

bool CInstanceChecker::TrackFirstInstance(std::function<void()> activate) {
    std::lock_guard lock(impl_->mutex);
    impl_->activate = std::move(activate);
    if (impl_->lockFd >= 0) return true;
    int fd = impl_->OpenLockFile();
    if (fd < 0) return false;
    // A concurrent check holds the lock for a moment only; give it time to let go.
    bool locked = false;
    for (int attempt = 0; attempt < 20 && !locked; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            locked = true;
        } else if (errno == EWOULDBLOCK) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else {
            break;
        }
    }
    if (!locked) {
        ::close(fd);
        return false;
    }
    impl_->lockFd = fd;
    if (!impl_->StartListening()) {
        CloseFd(impl_->lockFd);
        return false;
    }
    return true;
}

bool CInstanceChecker::ActivatePreviousInstance() {
    sockaddr_un addr{};
    if (impl_->dir.empty() || !FillAddress(impl_->SocketPath(), addr)) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    SetTimeouts(fd, 3);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              ::send(fd, kActivateRequest.data(), kActivateRequest.size(), MSG_NOSIGNAL) ==
                  static_cast<ssize_t>(kActivateRequest.size()) &&
              ReadLine(fd, 16) == kActivateReply;
    ::close(fd);
    return ok;
}

}  // namespace kestrom
