#include "daemon/LineWriter.h"

#include <unistd.h>

#include <cerrno>

namespace kestrom {

CLineWriter::CLineWriter(int fd) : fd_(fd), thread_([this] { Run(); }) {}

CLineWriter::~CLineWriter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_.notify_one();
    thread_.join();
}

void CLineWriter::Write(std::string_view lines) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_.size() < kMaxBacklogBytes; });
    // The writer sleeps only when nothing is pending, so only the first line wakes it.
    const bool wake = pending_.empty();
    pending_ += lines;
    handedOver_ += lines.size();
    lock.unlock();
    if (wake) work_.notify_one();
}

void CLineWriter::Flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = handedOver_;
    done_.wait(lock, [&] { return finished_ >= target; });
}

void CLineWriter::Run() {
    std::string batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return !pending_.empty() || stop_; });
        if (pending_.empty()) return;  // stopping, and all is written
        if (!stop_) {
            // Woken by the first line after a quiet spell: the lines of the next moment
            // gather meanwhile and leave with it in one write, and the threads that log
            // seldom have to wake the writer.
            lock.unlock();
            std::this_thread::sleep_for(kGatherTime);
            lock.lock();
        }
        batch.swap(pending_);
        lock.unlock();
        std::string_view rest = batch;
        while (!rest.empty()) {
            const ssize_t n = ::write(fd_, rest.data(), rest.size());
            if (n < 0 && errno == EINTR) continue;
            // A closed or broken standard output loses the log, not the requests.
            if (n <= 0) break;
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        lock.lock();
        finished_ += batch.size();
        batch.clear();
        done_.notify_all();
    }
}

}  // namespace kestrom
