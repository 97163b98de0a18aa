#pragma once
// Carries work from connection threads over to the window's thread. Each piece runs there one
// at a time while the calling thread waits, so log lines and grid refreshes never interleave
// and appear in the order each thread asked for them. At shutdown the gate closes: waiting
// threads are released and later calls return at once, so the window's thread can stop the
// listener without waiting on a thread that waits on it.
#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kestrom {

class CGuiThreadCaller {
  public:
    // `context` lives on the window's thread and outlives every call (Close comes first).
    explicit CGuiThreadCaller(QObject* context);
    ~CGuiThreadCaller();
    CGuiThreadCaller(const CGuiThreadCaller&) = delete;
    CGuiThreadCaller& operator=(const CGuiThreadCaller&) = delete;

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
    QObject* context_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace kestrom
