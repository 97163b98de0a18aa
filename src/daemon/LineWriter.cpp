#include "daemon/LineWriter.h"

#include <algorithm>

namespace kestrom {

CLineWriter::CLineWriter(int fd, LostLinesLine lostLinesLine)
    : fd_(fd), lostLinesLine_(std::move(lostLinesLine)), thread_([this] { Run(); }) {}

CLineWriter::CLineWriter(CLineSink& sink, LostLinesLine lostLinesLine)
    : fd_(-1), sink_(&sink), lostLinesLine_(std::move(lostLinesLine)), thread_([this] { Run(); }) {}

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
        if (sink_) {
            sink_->Write(batch);
        } else {
            WriteOut(batch);
        }
        lock.lock();
        finished_ += batch.size();
        batch.clear();
        done_.notify_all();
    }
}

}  // namespace kestrom
