#pragma once
// Log lines on their way from connection threads to the window's thread. A connection thread
// stamps and formats its line and leaves it here without waiting; the window's thread takes
// all that has gathered in one go. Beyond a bound lines are dropped and counted, so a flood
// of lines can hold neither the requests nor the window; errors are counted whether their
// lines are kept or not.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/LocalTime.h"
#include "core/OperatorInterface.h"

namespace kestrom {

class CLogHandOver {
  public:
    struct Batch {
        std::vector<std::string> lines;  // formatted, oldest first
        std::uint64_t dropped = 0;       // lines lost after these for want of room
        std::uint64_t errors = 0;        // error lines among all handed over, kept or not
        bool more = false;               // lines were left for the next take
    };

    explicit CLogHandOver(std::size_t maxLines) : maxLines_(maxLines) {}
    // Values below 1 count as 1.
    void SetMaxLines(std::size_t lines);

    // Any thread. `show` false counts an error line without keeping it. Returns true when
    // the window's thread has to be asked to take a batch: the first line after a take.
    bool Add(const LocalDateTime& when, std::u16string_view message, LogLevel level, bool show);
    // The window's thread: the oldest `maxLines` lines gathered; with the last of them the
    // counts of dropped lines and errors. With `more` set the next take is still asked for.
    Batch Take(std::size_t maxLines = SIZE_MAX);

  private:
    std::mutex mutex_;
    Batch pending_;
    std::size_t maxLines_;
    bool takeRequested_ = false;
};

}  // namespace kestrom
