#pragma once
// The versions a replacement pushed aside: before an upload, a start list or a restore
// replaces a results file or the event file, the file as it stood is copied into a hidden
// folder beside it (".kestrom-history/<file name>/"), which no request lists or reads. Each
// file keeps at most a number of versions and of bytes; the oldest go first.
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kestrom {

inline constexpr std::u16string_view kHistoryFolderName = u".kestrom-history";

struct CHistoryLimits {
    int versions = 20;
    std::uint64_t bytesPerFile = 64ull * 1024 * 1024;
};

struct CFileVersion {
    // Digits only; ordered as the versions were kept.
    std::u16string id;
    std::time_t when = 0;
    // The IP address of the device whose upload replaced it, or "console".
    std::u16string device;
    std::uint64_t bytes = 0;
};

enum class HistoryRestore { kRestored, kNoSuchVersion, kBusy, kFailed };

class CFileHistory {
  public:
    void SetLimits(CHistoryLimits limits);
    CHistoryLimits Limits() const;

    // Copies the file at `path` into its history. The caller holds the replacement claim on
    // the file (CAtomicFileWriter::Create), so the copy is the whole of one version. False
    // when the file could not be read or the copy not written; the replacement goes on.
    bool Keep(std::u16string_view path, std::u16string_view device);
    // Newest first.
    std::vector<CFileVersion> Versions(std::u16string_view path) const;
    // The bytes of one version; false when there is no such version.
    bool Read(std::u16string_view path, std::u16string_view id, std::string& bytes) const;
    // Replaces the file by one of its versions in one atomic step, keeping the current file as
    // a version first. kBusy while another writer holds the file.
    HistoryRestore Restore(std::u16string_view path, std::u16string_view id,
                           std::u16string_view device);

  private:
    void Prune(const std::u16string& folder) const;

    mutable std::mutex mutex_;
    CHistoryLimits limits_;
};

// The history folder of the file at `path`.
std::u16string HistoryFolderOf(std::u16string_view path);

}  // namespace kestrom
