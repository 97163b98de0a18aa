#pragma once
// The event log of kestromd as a Windows service, which has no standard output: a file whose
// size stays bounded. Before a batch of lines would take it past its limit, the file becomes
// NAME.1, the older ones move up one number, the oldest is dropped, and the batch starts a
// fresh file. Batches are whole lines and go out in one write, so no line is ever torn
// across two files. The one writer thread of CLineWriter is its only caller.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "daemon/LineWriter.h"

namespace kestrom {

struct CLogRotation {
    // About a day of a busy meet's log in each file; the five files together stay far below
    // what an operator would miss on the disk.
    std::uint64_t maxBytes = 8u << 20;
    int keptFiles = 4;  // NAME.1 (the newest) to NAME.4
};

// True when `incoming` bytes would take a file of `size` bytes past `maxBytes`. An empty
// file takes any batch, so a batch larger than the limit is written rather than lost.
bool LogNeedsRotation(std::uint64_t size, std::size_t incoming, std::uint64_t maxBytes);

// NAME.n, the n-th newest of the rotated files.
std::string RotatedLogName(const std::string& path, int n);

class CRotatingLogFile : public CLineSink {
  public:
    // Appends to `path` (UTF-8), creating it; the folder must exist.
    CRotatingLogFile(std::string path, CLogRotation rotation = {});
    bool IsOpen() const { return out_.is_open(); }
    const std::string& Path() const { return path_; }

    void Write(std::string_view lines) override;

  private:
    void Open();
    void Rotate();

    const std::string path_;
    const CLogRotation rotation_;
    std::ofstream out_;
    std::uint64_t size_ = 0;
};

}  // namespace kestrom
