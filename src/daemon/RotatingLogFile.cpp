#include "daemon/RotatingLogFile.h"

#include <filesystem>
#include <system_error>

#include "base/Path.h"

namespace kestrom {

bool LogNeedsRotation(std::uint64_t size, std::size_t incoming, std::uint64_t maxBytes) {
    return size > 0 && size + incoming > maxBytes;
}

std::string RotatedLogName(const std::string& path, int n) {
    return path + "." + std::to_string(n);
}

CRotatingLogFile::CRotatingLogFile(std::string path, CLogRotation rotation)
    : path_(std::move(path)), rotation_(rotation) {
    Open();
}

void CRotatingLogFile::Open() {
    // The C runtime opens files for shared reading and writing on Windows, so an operator
    // can read the log while the service writes it.
    out_.open(FsPath(path_), std::ios::binary | std::ios::app);
    std::error_code ec;
    const auto size = std::filesystem::file_size(FsPath(path_), ec);
    size_ = ec ? 0 : size;
}

void CRotatingLogFile::Rotate() {
    out_.close();
    // The full file is moved aside first. Windows refuses while a reader holds it without
    // delete sharing: then the older files stay as they are, the lines go on into the same
    // file, and the next batch tries again.
    const std::string aside = path_ + ".rotating";
    std::error_code ec;
    std::filesystem::rename(FsPath(path_), FsPath(aside), ec);
    if (!ec) {
        std::filesystem::remove(FsPath(RotatedLogName(path_, rotation_.keptFiles)), ec);
        for (int n = rotation_.keptFiles - 1; n >= 1; --n)
            std::filesystem::rename(FsPath(RotatedLogName(path_, n)),
                                    FsPath(RotatedLogName(path_, n + 1)), ec);
        std::filesystem::rename(FsPath(aside), FsPath(RotatedLogName(path_, 1)), ec);
    }
    Open();
}

void CRotatingLogFile::Write(std::string_view lines) {
    if (LogNeedsRotation(size_, lines.size(), rotation_.maxBytes)) Rotate();
    if (!out_.is_open()) Open();  // a folder that came back, a file that was removed
    if (!out_.is_open()) return;
    out_.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    out_.flush();
    if (out_) {
        size_ += lines.size();
    } else {
        // A full disk loses the lines, not the requests; the next batch opens afresh.
        out_.close();
    }
}

}  // namespace kestrom
