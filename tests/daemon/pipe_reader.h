#pragma once
// A pipe whose read end is drained on a thread of its own, for what the daemon writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace kestrom::testing {

// Everything written to a pipe, read on a thread of its own until the writers are done.
class PipeReader {
  public:
    // Reading starts at once, or with Start() when startNow is false.
    explicit PipeReader(bool startNow = true) {
        EXPECT_EQ(::pipe(fds_), 0);
        if (startNow) Start();
    }
    void Start() {
        reader_ = std::thread([this] {
            char buf[4096];
            for (;;) {
                const ssize_t n = ::read(fds_[0], buf, sizeof buf);
                if (n <= 0) break;
                text_.append(buf, static_cast<size_t>(n));
            }
        });
    }
    ~PipeReader() {
        if (reader_.joinable()) {
            Finish();
        } else {
            ::close(fds_[0]);
            ::close(fds_[1]);
        }
    }
    int WriteEnd() const { return fds_[1]; }
    // Closes the write end and returns all that was written. Whoever writes must be done.
    const std::string& Finish() {
        ::close(fds_[1]);
        reader_.join();
        ::close(fds_[0]);
        return text_;
    }

  private:
    int fds_[2] = {-1, -1};
    std::thread reader_;
    std::string text_;
};

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "output does not end with a line end";
    return lines;
}

}  // namespace kestrom::testing
