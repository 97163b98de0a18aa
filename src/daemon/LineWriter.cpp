#include "daemon/LineWriter.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrom {
namespace {

// A pipe that reports room takes this much without blocking (PIPE_BUF on Linux).
constexpr std::size_t kWriteChunk = 4096;
constexpr int kPollMilliseconds = 100;

}  // namespace

CLineWriter::CLineWriter(int fd, LostLinesLine lostLinesLine)
    : fd_(fd), lostLinesLine_(std::move(lostLinesLine)), thread_([this] { Run(); }) {}

CLineWriter::~CLineWriter() {
    {
        std::lock_guard lock(mutex_);
        TakeReport();
        stop_ = true;
        stopDeadline_ = std::chrono::steady_clock::now() + kStopGrace;
        stopping_.store(true);
    }
    work_.notify_one();
    thread_.join();
}

void CLineWriter::SetMaxBacklogLines(std::size_t lines) {
    std::lock_guard lock(mutex_);
    maxBacklogLines_ = std::max<std::size_t>(1, lines);
}

std::uint64_t CLineWriter::DroppedLines() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void CLineWriter::TakeReport() {
    if (unreported_ == 0 || !lostLinesLine_) return;
    const std::string report = lostLinesLine_(unreported_);
    unreported_ = 0;
    pending_ += report;
    handedOver_ += report.size();
    ++pendingLines_;
}

void CLineWriter::Write(std::string_view lines) {
    const auto count = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
    std::unique_lock lock(mutex_);
    if (pendingLines_ >= maxBacklogLines_) {
        unreported_ += count;
        dropped_ += count;
        return;
    }
    // The writer sleeps only when nothing is pending, so only the first line wakes it.
    const bool wake = pending_.empty();
    TakeReport();
    pending_ += lines;
    pendingLines_ += count;
    handedOver_ += lines.size();
    lock.unlock();
    if (wake) work_.notify_one();
}

void CLineWriter::Flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = handedOver_;
    done_.wait(lock, [&] { return finished_ >= target; });
}

void CLineWriter::WriteOut(std::string_view bytes) {
    if (fd_ < 0) return;  // poll would wait on it for ever
    while (!bytes.empty()) {
        // Waiting in poll rather than in write lets a stop give up on an output that is
        // never read again.
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) {
            if (stopping_.load() && std::chrono::steady_clock::now() >= stopDeadline_) return;
            continue;
        }
        const ssize_t n = ::write(fd_, bytes.data(), std::min(bytes.size(), kWriteChunk));
        if (n < 0 && errno == EINTR) continue;
        // A closed or broken standard output loses the log, not the requests.
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
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
        pendingLines_ = 0;
        lock.unlock();
        WriteOut(batch);
        lock.lock();
        finished_ += batch.size();
        batch.clear();
        done_.notify_all();
    }
}

}  // namespace kestrom
