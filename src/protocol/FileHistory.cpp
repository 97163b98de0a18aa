#include "protocol/FileHistory.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/AtomicFile.h"
#include "base/Path.h"
#include "base/TextConvert.h"
#include "base/WholeFile.h"

namespace kestrom {

namespace fs = std::filesystem;

namespace {

constexpr size_t kSequenceDigits = 10;

fs::path FsPath(std::u16string_view path) {
    return fs::path(std::u16string(path));
}

// Only the characters of an IP address or a word survive into a file name.
std::u16string SafeDevice(std::u16string_view device) {
    std::u16string safe;
    for (char16_t c : device)
        if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
            c == u'.' || c == u':')
            safe += c;
    return safe.empty() ? u"unknown" : safe;
}

bool AllDigits(std::u16string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// "<sequence>-<seconds since 1970>-<device>"; nothing for a name of another shape.
std::optional<CFileVersion> ParseVersionName(const std::u16string& name, std::uint64_t bytes) {
    const size_t first = name.find(u'-');
    if (first != kSequenceDigits) return std::nullopt;
    const size_t second = name.find(u'-', first + 1);
    if (second == std::u16string::npos) return std::nullopt;
    CFileVersion v;
    v.id = name.substr(0, first);
    const std::u16string seconds = name.substr(first + 1, second - first - 1);
    if (!AllDigits(v.id) || !AllDigits(seconds)) return std::nullopt;
    v.when = static_cast<std::time_t>(std::stoll(ToUtf8(seconds)));
    v.device = name.substr(second + 1);
    v.bytes = bytes;
    return v;
}

// Oldest first.
std::vector<std::pair<CFileVersion, fs::path>> ListVersions(const std::u16string& folder) {
    std::vector<std::pair<CFileVersion, fs::path>> found;
    std::error_code ec;
    for (fs::directory_iterator it(FsPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::uint64_t bytes = it->file_size(ec);
        if (ec) continue;
        if (auto v = ParseVersionName(it->path().filename().u16string(), bytes))
            found.emplace_back(std::move(*v), it->path());
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first.id < b.first.id; });
    return found;
}

std::u16string SequenceText(std::uint64_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "%010llu", static_cast<unsigned long long>(n));
    return U16(text);
}

}  // namespace

std::u16string HistoryFolderOf(std::u16string_view path) {
    return JoinPath(JoinPath(FolderPart(path), kHistoryFolderName), FileNamePart(path));
}

void CFileHistory::SetLimits(CHistoryLimits limits) {
    std::lock_guard lock(mutex_);
    limits_ = limits;
}

CHistoryLimits CFileHistory::Limits() const {
    std::lock_guard lock(mutex_);
    return limits_;
}

bool CFileHistory::Keep(std::u16string_view path, std::u16string_view device) {
    const auto read = ReadWholeFile(NativePath(path));
    if (!read) return false;
    const std::string& bytes = *read;
    std::lock_guard lock(mutex_);
    if (limits_.versions <= 0) return true;
    const std::u16string folder = HistoryFolderOf(path);
    std::error_code ec;
    fs::create_directories(FsPath(folder), ec);
    const auto versions = ListVersions(folder);
    std::uint64_t next = 1;
    if (!versions.empty()) next = std::stoull(ToUtf8(versions.back().first.id)) + 1;
    const std::u16string name = SequenceText(next) + u"-" +
                                U16(std::to_string(static_cast<long long>(std::time(nullptr)))) +
                                u"-" + SafeDevice(device);
    // Written as every replaced file is, so a crash leaves no torn version behind.
    if (!WriteFileAtomically(JoinPath(folder, name), bytes)) return false;
    Prune(folder);
    return true;
}

void CFileHistory::Prune(const std::u16string& folder) const {
    auto versions = ListVersions(folder);
    std::uint64_t total = 0;
    for (const auto& v : versions) total += v.first.bytes;
    size_t drop = 0;
    // The newest version stays even when it alone is larger than the bound.
    while (drop + 1 < versions.size() &&
           (versions.size() - drop > static_cast<size_t>(limits_.versions) ||
            total > limits_.bytesPerFile)) {
        total -= versions[drop].first.bytes;
        std::error_code ec;
        fs::remove(versions[drop].second, ec);
        ++drop;
    }
}

std::vector<CFileVersion> CFileHistory::Versions(std::u16string_view path) const {
    std::lock_guard lock(mutex_);
    std::vector<CFileVersion> out;
    for (auto& v : ListVersions(HistoryFolderOf(path))) out.push_back(std::move(v.first));
    std::reverse(out.begin(), out.end());
    return out;
}

bool CFileHistory::Read(std::u16string_view path, std::u16string_view id,
                        std::string& bytes) const {
    if (!AllDigits(id)) return false;
    std::lock_guard lock(mutex_);
    for (const auto& v : ListVersions(HistoryFolderOf(path)))
        if (v.first.id == id) {
            auto read = ReadWholeFile(NativePath(v.second.u16string()));
            if (!read) return false;
            bytes = std::move(*read);
            return true;
        }
    return false;
}

HistoryRestore CFileHistory::Restore(std::u16string_view path, std::u16string_view id,
                                     std::u16string_view device) {
    std::string bytes;
    if (!Read(path, id, bytes)) return HistoryRestore::kNoSuchVersion;
    CAtomicFileWriter writer{std::u16string(path)};
    if (!writer.Create()) return HistoryRestore::kBusy;
    if (writer.TargetExisted() && !Keep(path, device)) return HistoryRestore::kFailed;
    if (!writer.File().Write(bytes.data(), bytes.size())) return HistoryRestore::kFailed;
    const bool done = (writer.TargetExisted() ? writer.Commit() : writer.CommitNew()).Ok();
    return done ? HistoryRestore::kRestored : HistoryRestore::kFailed;
}

}  // namespace kestrom
