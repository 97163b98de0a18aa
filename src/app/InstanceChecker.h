#pragma once
// Single-instance guard: a lock file in the runtime folder named by the instance name, and a
// local socket through which a second start asks the first to show its window.
#include <functional>
#include <string>

namespace kestrom {

class CInstanceChecker {
public:
    explicit CInstanceChecker(std::string instanceName);
    ~CInstanceChecker();

    bool PreviousInstanceRunning();
    // Registers this process as the first instance; `activate` runs (on a background
    // thread) whenever a later start asks for the window.
    bool TrackFirstInstance(std::function<void()> activate);
    void ActivatePreviousInstance();

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace kestrom
