#include "ui/GuiThreadCaller.h"

#include <QThread>

namespace kestrom {

CGuiThreadCaller::CGuiThreadCaller(QObject* context)
    : context_(context), shared_(std::make_shared<Shared>()) {}

CGuiThreadCaller::~CGuiThreadCaller() {
    Close();
}

bool CGuiThreadCaller::IsClosed() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->closed;
}

bool CGuiThreadCaller::Run(const std::function<void()>& work) {
    if (QThread::currentThread() == context_->thread()) {
        if (IsClosed()) return false;
        work();
        return true;
    }
    return RunUntilFinished([work](const std::function<void()>& finish) {
        work();
        finish();
    });
}

bool CGuiThreadCaller::RunUntilFinished(
    const std::function<void(std::function<void()> finish)>& start) {
    if (QThread::currentThread() == context_->thread()) return false;
    auto finished = std::make_shared<bool>(false);
    auto shared = shared_;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed) return false;
    }
    // `start` is copied into the event; it is run only while its caller still waits, because
    // Close happens on the same thread that runs it.
    QMetaObject::invokeMethod(
        context_,
        [shared, finished, start] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->closed) return;
            }
            start([shared, finished] {
                std::lock_guard lock(shared->mutex);
                *finished = true;
                shared->done.notify_all();
            });
        },
        Qt::QueuedConnection);
    std::unique_lock lock(shared->mutex);
    shared->done.wait(lock, [&] { return *finished || shared->closed; });
    return *finished;
}

void CGuiThreadCaller::Post(std::function<void()> work) {
    auto shared = shared_;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed) return;
    }
    QMetaObject::invokeMethod(
        context_,
        [shared, work = std::move(work)] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->closed) return;
            }
            work();
        },
        Qt::QueuedConnection);
}

void CGuiThreadCaller::Close() {
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    shared_->done.notify_all();
}

}  // namespace kestrom
