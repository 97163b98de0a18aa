#pragma once
// Writes lines to a file descriptor from a thread of its own, so that a connection thread
// hands its log line over and goes on with the request. Lines leave in the order they were
// handed over, at most a moment later, as many in one write as have gathered meanwhile.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kestrom {

class CLineWriter {
  public:
    // Unwritten bytes beyond which Write waits for the writer: a standard output that nobody
    // reads holds lines back, as a blocking write did, rather than growing without end.
    static constexpr std::size_t kMaxBacklogBytes = 1 << 20;

    // How long lines gather before they are written; the delay a log line can have.
    static constexpr std::chrono::microseconds kGatherTime{1000};

    explicit CLineWriter(int fd);
    // Writes out everything handed over before it returns.
    ~CLineWriter();
    CLineWriter(const CLineWriter&) = delete;
    CLineWriter& operator=(const CLineWriter&) = delete;

    // Takes text that ends with its line end.
    void Write(std::string_view lines);
    // Returns once everything handed over so far has been written (or found unwritable).
    void Flush();

  private:
    void Run();

    const int fd_;
    std::mutex mutex_;
    std::condition_variable work_;  // something to write, or stop
    std::condition_variable done_;  // a batch has been written
    std::string pending_;
    std::uint64_t handedOver_ = 0;  // bytes, counted for Flush
    std::uint64_t finished_ = 0;
    bool stop_ = false;
    std::thread thread_;  // last: starts once the fields above are ready
};

}  // namespace kestrom
