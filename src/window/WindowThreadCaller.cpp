#include "window/WindowThreadCaller.h"

namespace kestrom {

CWindowThreadCaller::CWindowThreadCaller(Poster post, ThreadCheck onWindowThread)
    : post_(std::move(post)),
      onWindowThread_(std::move(onWindowThread)),
      shared_(std::make_shared<Shared>()) {}

CWindowThreadCaller::~CWindowThreadCaller() {
    Close();
}

bool CWindowThreadCaller::IsClosed() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->closed;
}

bool CWindowThreadCaller::Run(const std::function<void()>& work) {
    if (OnWindowThread()) {
        if (IsClosed()) return false;
        work();
        return true;
    }
    return RunUntilFinished([work](const std::function<void()>& finish) {
        work();
        finish();
    });
}

bool CWindowThreadCaller::RunUntilFinished(
    const std::function<void(std::function<void()> finish)>& start) {
    if (OnWindowThread()) return false;
    auto finished = std::make_shared<bool>(false);
    auto shared = shared_;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed) return false;
    }
    // `start` is copied into the queued call; it is run only while its caller still waits,
    // because Close happens on the same thread that runs it.
    post_([shared, finished, start] {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->closed) return;
        }
        start([shared, finished] {
            std::lock_guard lock(shared->mutex);
            *finished = true;
            shared->done.notify_all();
        });
    });
    std::unique_lock lock(shared->mutex);
    shared->done.wait(lock, [&] { return *finished || shared->closed; });
    return *finished;
}

void CWindowThreadCaller::Post(std::function<void()> work) {
    auto shared = shared_;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed) return;
    }
    post_([shared, work = std::move(work)] {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->closed) return;
        }
        work();
    });
}

void CWindowThreadCaller::Close() {
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    shared_->done.notify_all();
}

}  // namespace kestrom
