#pragma once
// Carries work from connection threads over to the window's thread. Each piece runs there one
// at a time while the calling thread waits, so log lines and grid refreshes never interleave
// and appear in the order each thread asked for them. At shutdown the gate closes: waiting
// threads are released and later calls return at once, so the window's thread can stop the
// listener without waiting on a thread that waits on it.
//
// The toolkit gives two things: a way to queue a function onto the window's thread (a queued
// call in Qt, a posted message on Windows) and the test whether the caller is on it.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrom {

class CWindowThreadCaller {
  public:
    // Queues `work` to run later on the window's thread, from its own event loop.
    using Poster = std::function<void(std::function<void()> work)>;
    using ThreadCheck = std::function<bool()>;

    CWindowThreadCaller(Poster post, ThreadCheck onWindowThread);
    ~CWindowThreadCaller();
    CWindowThreadCaller(const CWindowThreadCaller&) = delete;
    CWindowThreadCaller& operator=(const CWindowThreadCaller&) = delete;

    bool OnWindowThread() const { return onWindowThread_(); }
    // Runs `work` on the window's thread and waits for it (directly when already there).
    // Returns false when the gate is closed and the work was not done.
    bool Run(const std::function<void()>& work);
    // Runs `start` on the window's thread and waits until the `finish` it is handed has been
    // called there, later and from the window's own event loop, so the window's thread never
    // waits in a nested loop for an answer. Returns false when the gate closed first. Not
    // from the window's thread.
    bool RunUntilFinished(const std::function<void(std::function<void()> finish)>& start);
    // Queues `work` on the window's thread without waiting.
    void Post(std::function<void()> work);
    // Window's thread only.
    void Close();
    bool IsClosed() const;

  private:
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable done;
        bool closed = false;
    };
    Poster post_;
    ThreadCheck onWindowThread_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace kestrom
