#pragma once
// Writes lines to a file descriptor from a thread of its own, so that a connection thread
// hands its log line over and goes on with the request. Lines leave in the order they were
// handed over, at most a moment later, as many in one write as have gathered meanwhile.
// A reader that stops reading (a paused terminal, a pipe nobody drains) never holds a
// request back: beyond a bound the lines are dropped, and the first line taken afterwards
// is preceded by one that says how many were lost.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kestrom {

// Where lines go instead of a file descriptor (a log file of the writer's own). Called on the
// writer thread alone, with whole lines, as many as have gathered.
class CLineSink {
  public:
    virtual ~CLineSink() = default;
    virtual void Write(std::string_view lines) = 0;
};

class CLineWriter {
  public:
    // Builds the whole line (with its line end) that reports `lost` dropped lines.
    using LostLinesLine = std::function<std::string(std::uint64_t lost)>;

    // Unwritten lines beyond which further lines are dropped.
    static constexpr std::size_t kDefaultMaxBacklogLines = 10000;
    // How long lines gather before they are written; the delay a log line can have.
    static constexpr std::chrono::microseconds kGatherTime{1000};
    // How long the destructor waits for an output that does not take the last lines.
    static constexpr std::chrono::milliseconds kStopGrace{2000};

    explicit CLineWriter(int fd, LostLinesLine lostLinesLine = {});
    // Writes to `sink`, which must outlive the writer.
    explicit CLineWriter(CLineSink& sink, LostLinesLine lostLinesLine = {});
    // Writes out everything handed over before it returns, unless the output takes nothing
    // for kStopGrace.
    ~CLineWriter();
    CLineWriter(const CLineWriter&) = delete;
    CLineWriter& operator=(const CLineWriter&) = delete;

    // Values below 1 count as 1.
    void SetMaxBacklogLines(std::size_t lines);
    // Takes text that ends with its line end. Never waits for the output.
    void Write(std::string_view lines);
    // Returns once everything taken so far has been written (or found unwritable).
    void Flush();
    // Lines dropped since the start, reported or not.
    std::uint64_t DroppedLines() const;

  private:
    void Run();
    // Writes all of `bytes` unless the output fails, or stays full past the stop grace.
    void WriteOut(std::string_view bytes);
    // Called with mutex_ held.
    void TakeReport();

    const int fd_;
    CLineSink* const sink_ = nullptr;
    const LostLinesLine lostLinesLine_;
    mutable std::mutex mutex_;
    std::condition_variable work_;  // something to write, or stop
    std::condition_variable done_;  // a batch has been written
    std::string pending_;
    std::size_t pendingLines_ = 0;
    std::size_t maxBacklogLines_ = kDefaultMaxBacklogLines;
    std::uint64_t unreported_ = 0;  // dropped since the last report
    std::uint64_t dropped_ = 0;
    std::uint64_t handedOver_ = 0;  // bytes, counted for Flush
    std::uint64_t finished_ = 0;
    bool stop_ = false;
    // Read by the writer thread while it waits for the output, without the mutex.
    std::atomic<bool> stopping_{false};
    std::chrono::steady_clock::time_point stopDeadline_;
    std::thread thread_;  // last: starts once the fields above are ready
};

}  // namespace kestrom
