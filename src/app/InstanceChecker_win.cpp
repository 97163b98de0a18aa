#include <windows.h>

#include <mutex>
#include <thread>

#include "app/InstanceChecker.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

// Kernel object names take no backslash after the namespace: a folder is named by a hash of
// its full path, in upper case as Windows compares file names.
std::string FolderTag(const std::string& folder) {
    if (folder.empty()) return {};
    const std::u16string text = FromUtf8(folder);
    std::wstring wide(text.begin(), text.end());
    std::wstring full(32768, L'\0');
    const DWORD n =
        ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n > 0 && n < full.size()) wide.assign(full.data(), n);
    while (wide.size() > 3 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
    ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (wchar_t c : wide) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 1099511628211ULL;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string tag = "-";
    for (int i = 15; i >= 0; --i) tag += kHex[(hash >> (4 * i)) & 0xF];
    return tag;
}

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

}  // namespace

// A named mutex marks the first instance; a second start sets the named "activate" event and
// waits for the first to set "shown" once it has come forward. "Local\" makes all three
// private to the user's session.
struct CInstanceChecker::Impl {
    std::string base;  // "Local\<name>[-<folder hash>]"
    std::mutex mutex;
    std::function<void()> activate;
    HANDLE instance = nullptr;
    HANDLE activateEvent = nullptr;
    HANDLE shownEvent = nullptr;
    HANDLE stopEvent = nullptr;
    std::thread listener;

    std::string MutexName() const { return base; }
    std::string EventName() const { return base + "-activate"; }
    std::string ShownName() const { return base + "-shown"; }

    void Serve() {
        const HANDLE waits[2] = {activateEvent, stopEvent};
        for (;;) {
            if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return;
            std::function<void()> callback;
            {
                std::lock_guard lock(mutex);
                callback = activate;
            }
            if (callback) callback();
            ::SetEvent(shownEvent);
        }
    }

    void Stop() {
        if (listener.joinable()) {
            ::SetEvent(stopEvent);
            listener.join();
        }
        for (HANDLE* h : {&instance, &activateEvent, &shownEvent, &stopEvent}) {
            if (*h) ::CloseHandle(*h);
            *h = nullptr;
        }
    }
};

CInstanceChecker::CInstanceChecker(std::string instanceName)
    : CInstanceChecker(std::move(instanceName), std::string()) {}

// On Windows the folder is not where anything is kept but the scope of the guard: guards of
// different folders (portable --config-dir instances, tests) never meet.
CInstanceChecker::CInstanceChecker(std::string instanceName, std::string runtimeDir)
    : impl_(new Impl) {
    impl_->base = "Local\\" + instanceName + FolderTag(runtimeDir);
}

CInstanceChecker::~CInstanceChecker() {
    impl_->Stop();
    delete impl_;
}

std::string CInstanceChecker::LockPath() const {
    return impl_->MutexName();
}
std::string CInstanceChecker::SocketPath() const {
    return impl_->EventName();
}

bool CInstanceChecker::PreviousInstanceRunning() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->instance) return false;  // we are the first instance
    // The mutex lives as long as its holder's handle: it exists only while the first runs.
    HANDLE h = ::OpenMutexW(SYNCHRONIZE, FALSE, Wide(impl_->MutexName()).c_str());
    if (!h) return false;
    ::CloseHandle(h);
    return true;
}

bool CInstanceChecker::TrackFirstInstance(std::function<void()> activate) {
    std::lock_guard lock(impl_->mutex);
    impl_->activate = std::move(activate);
    if (impl_->instance) return true;
    HANDLE h = ::CreateMutexW(nullptr, FALSE, Wide(impl_->MutexName()).c_str());
    if (!h) return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        return false;
    }
    impl_->instance = h;
    impl_->activateEvent = ::CreateEventW(nullptr, FALSE, FALSE, Wide(impl_->EventName()).c_str());
    impl_->shownEvent = ::CreateEventW(nullptr, FALSE, FALSE, Wide(impl_->ShownName()).c_str());
    impl_->stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!impl_->activateEvent || !impl_->shownEvent || !impl_->stopEvent) {
        impl_->Stop();  // no listener yet: only the handles go
        return false;
    }
    impl_->listener = std::thread([impl = impl_] { impl->Serve(); });
    return true;
}

bool CInstanceChecker::ActivatePreviousInstance() {
    HANDLE activate = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, Wide(impl_->EventName()).c_str());
    HANDLE shown =
        ::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, Wide(impl_->ShownName()).c_str());
    bool ok = false;
    if (activate && shown) {
        ::ResetEvent(shown);
        ok = ::SetEvent(activate) && ::WaitForSingleObject(shown, 3000) == WAIT_OBJECT_0;
    }
    if (activate) ::CloseHandle(activate);
    if (shown) ::CloseHandle(shown);
    return ok;
}

}  // namespace kestrom
