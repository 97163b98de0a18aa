#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "base/FileCause.h"
#include "base/FileFindIndex.h"
#include "base/Path.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

// A name searched for among the index's entries: compared ignoring case only, so one search
// finds every entry that differs from it in case alone.
struct Probe {
    std::u16string_view text;
};

// Entries ordered by their names ignoring case, and entries that differ only in case by their
// code units: the first of such a run is the one a lookup chooses, the same on every run.
struct FoldedLess {
    using is_transparent = void;
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        const int c = CompareIgnoringCase(a, b);
        return c < 0 || (c == 0 && a < b);
    }
    bool operator()(const std::u16string& a, Probe b) const {
        return CompareIgnoringCase(a, b.text) < 0;
    }
    bool operator()(Probe a, const std::u16string& b) const {
        return CompareIgnoringCase(a.text, b) < 0;
    }
};

bool HasWildcards(std::u16string_view name) {
    return name.find_first_of(u"?*") != std::u16string_view::npos;
}

bool StartsWithIgnoringCase(std::u16string_view name, std::u16string_view prefix) {
    return name.size() >= prefix.size() &&
           CompareIgnoringCase(name.substr(0, prefix.size()), prefix) == 0;
}

// Network and FUSE file systems change under us without inotify hearing of it (a share
// written by the Windows machine that runs the timing software): such folders are listed
// afresh on every lookup instead.
bool ChangesAreNotified(const std::string& native) {
    struct statfs fs {};
    if (::statfs(native.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969UL:      // NFS
        case 0x517BUL:      // SMB
        case 0xFF534D42UL:  // CIFS
        case 0xFE534D42UL:  // SMB2
        case 0x65735546UL:  // FUSE
        case 0x01021997UL:  // 9P
        case 0x00C36400UL:  // Ceph
        case 0x73757245UL:  // Coda
        case 0x5346414FUL:  // AFS
        case 0x7461636FUL:  // OCFS2
        case 0x01161970UL:  // GFS2
            return false;
        default:
            return true;
    }
}

// The entry's directory data; nothing when it has gone or is a folder.
std::optional<FoundFile> StatFile(std::u16string_view folder, std::u16string_view name) {
    auto found = LookUpFile(JoinPath(folder, name));
    if (!found || found->isDirectory) return std::nullopt;
    found->name = std::u16string(name);
    return found;
}

}  // namespace

// One folder's entry names, kept current by an inotify watch on the folder.
class CFolderIndex {
  public:
    explicit CFolderIndex(std::u16string folder)
        : folder_(std::move(folder)),
          native_(NativePath(folder_.empty() ? std::u16string_view(u".") : folder_)) {}
    ~CFolderIndex() {
        if (inotify_ >= 0) ::close(inotify_);
    }
    CFolderIndex(const CFolderIndex&) = delete;
    CFolderIndex& operator=(const CFolderIndex&) = delete;

    const std::u16string& Folder() const { return folder_; }

    FileLookup Find(std::u16string_view name) {
        std::lock_guard lock(mutex_);
        FileLookup result;
        result.path = JoinPath(folder_, name);
        if (const int cause = Refresh()) {
            result.status = CStatus::Failure(cause);
            return result;
        }
        std::vector<std::u16string> candidates;
        if (!valid_) {
            result.firstListedWithoutIndex = !listedReported_;
            listedReported_ = true;
            FolderListing scan = FindFiles(folder_, name);
            if (!scan.status) {
                result.status = scan.status;
                return result;
            }
            for (auto& f : scan.files) candidates.push_back(std::move(f.name));
            std::sort(candidates.begin(), candidates.end(), FoldedLess{});
        } else if (HasWildcards(name)) {
            const std::u16string_view prefix = name.substr(0, name.find_first_of(u"?*"));
            for (auto it = names_.lower_bound(Probe{prefix});
                 it != names_.end() && StartsWithIgnoringCase(*it, prefix); ++it)
                if (WildcardMatch(name, *it)) candidates.push_back(*it);
        } else {
            auto [first, last] = names_.equal_range(Probe{name});
            candidates.assign(first, last);
        }
        for (const auto& candidate : candidates) {
            if ((result.file = StatFile(folder_, candidate))) break;
        }
        if (!result.file) return result;
        result.path = JoinPath(folder_, result.file->name);
        if (!HasWildcards(name) && candidates.size() > 1 &&
            reported_.insert(std::u16string(name)).second) {
            result.sameNameIgnoringCase.push_back(result.file->name);
            for (const auto& c : candidates)
                if (c != result.file->name) result.sameNameIgnoringCase.push_back(c);
        }
        return result;
    }

    FolderListing List(std::u16string_view prefix, std::u16string_view pattern) {
        std::lock_guard lock(mutex_);
        FolderListing listing;
        if (const int cause = Refresh()) {
            listing.status = CStatus::Failure(cause);
            return listing;
        }
        if (!valid_) return FindFiles(folder_, pattern);
        for (auto it = names_.lower_bound(Probe{prefix});
             it != names_.end() && StartsWithIgnoringCase(*it, prefix); ++it) {
            if (!WildcardMatch(pattern, *it)) continue;
            if (auto f = StatFile(folder_, *it)) listing.files.push_back(std::move(*f));
        }
        std::sort(listing.files.begin(), listing.files.end(),
                  [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
        return listing;
    }

    CMeetFolders::IndexSize Size() {
        std::lock_guard lock(mutex_);
        CMeetFolders::IndexSize size;
        if (!valid_) return size;
        size.names = names_.size();
        // A tree node holds three pointers and a colour besides the string; a name longer
        // than the string's own small buffer lives on the heap as well.
        for (const auto& n : names_) {
            size.bytes += 4 * sizeof(void*) + sizeof(std::u16string);
            if (n.capacity() > 7) size.bytes += (n.capacity() + 1) * sizeof(char16_t);
        }
        return size;
    }

  private:
    // Brings the index up to date with the folder. 0 when the folder exists; valid_ then
    // says whether names_ mirrors it (else the caller lists the folder itself). A cause when
    // the folder cannot be read.
    int Refresh() {
        struct stat st {};
        if (::stat(native_.c_str(), &st) != 0) {
            const int err = errno;
            Invalidate();
            return err == ENOENT ? file_cause::kBadPath : FileCauseFromErrno(err);
        }
        if (!S_ISDIR(st.st_mode)) {
            Invalidate();
            return file_cause::kBadPath;
        }
        // The path may now name another folder (the old one renamed away with a parent).
        if (valid_ && (st.st_dev != dev_ || st.st_ino != ino_)) Invalidate();
        if (valid_) Drain();
        if (!valid_) return Rebuild();
        return 0;
    }

    // Applies the queued events; any event that leaves the index unsure invalidates it.
    void Drain() {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                // EAGAIN: the queue is empty. Anything else: the watch cannot be trusted.
                if (n == 0 || errno != EAGAIN) Invalidate();
                return;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask &
                    (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                    Invalidate();
                    return;
                }
                if (event->len == 0) continue;
                std::u16string name = FromUtf8(std::string_view(event->name));
                if (event->mask & (IN_CREATE | IN_MOVED_TO))
                    names_.insert(std::move(name));
                else if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                    names_.erase(name);
            }
        }
    }

    // Watch first, then list: a change during the listing is queued and applied by the next
    // drain, and applying it twice does no harm (insert and erase are idempotent).
    int Rebuild() {
        if (!ChangesAreNotified(native_)) return 0;
        if (inotify_ < 0) inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0) return 0;  // no inotify to be had: the folder is listed instead
        if (::inotify_add_watch(inotify_, native_.c_str(),
                                IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                    IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK) <
            0)
            return 0;
        const int fd = ::open(native_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return FailRebuild(errno);
        struct stat st {};
        DIR* dir = ::fstat(fd, &st) == 0 ? ::fdopendir(fd) : nullptr;
        if (!dir) {
            const int err = errno;
            ::close(fd);
            return FailRebuild(err);
        }
        names_.clear();
        reported_.clear();
        int err = 0;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (!entry) {
                err = errno;
                break;
            }
            const std::string_view raw(entry->d_name);
            if (raw == "." || raw == "..") continue;
            names_.insert(FromUtf8(raw));
        }
        ::closedir(dir);
        if (err != 0) return FailRebuild(err);
        dev_ = st.st_dev;
        ino_ = st.st_ino;
        valid_ = true;
        return 0;
    }

    int FailRebuild(int err) {
        Invalidate();
        return FileCauseFromErrno(err);
    }

    // Drops the names and the watch; the queue is emptied so that no event of the old watch
    // is applied to the next listing.
    void Invalidate() {
        valid_ = false;
        names_.clear();
        if (inotify_ >= 0) {
            ::close(inotify_);
            inotify_ = -1;
        }
    }

    std::mutex mutex_;
    const std::u16string folder_;
    const std::string native_;
    int inotify_ = -1;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    bool valid_ = false;
    bool listedReported_ = false;
    std::set<std::u16string, FoldedLess> names_;
    std::set<std::u16string> reported_;  // names whose case variants were reported
};

CMeetFolders::CMeetFolders() = default;
CMeetFolders::~CMeetFolders() = default;

std::shared_ptr<CFolderIndex> CMeetFolders::IndexOf(std::u16string_view folder) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(folders_.begin(), folders_.end(),
                           [&](const auto& index) { return index->Folder() == folder; });
    std::shared_ptr<CFolderIndex> index;
    if (it != folders_.end()) {
        index = *it;
        folders_.erase(it);
    } else {
        index = std::make_shared<CFolderIndex>(std::u16string(folder));
        if (folders_.size() >= kMaxIndexedFolders) folders_.pop_back();
    }
    folders_.insert(folders_.begin(), index);
    return index;
}

FileLookup CMeetFolders::Find(std::u16string_view folder, std::u16string_view name) {
    if (!HasWildcards(name)) {
        // The common case costs one stat and no lock: the name as written.
        if (auto exact = StatFile(folder, name)) {
            FileLookup result;
            result.path = JoinPath(folder, name);
            result.file = std::move(exact);
            return result;
        }
    }
    return IndexOf(folder)->Find(name);
}

FolderListing CMeetFolders::ListByPrefix(std::u16string_view folder, std::u16string_view prefix,
                                         std::u16string_view pattern) {
    return IndexOf(folder)->List(prefix, pattern);
}

CMeetFolders::IndexSize CMeetFolders::SizeOf(std::u16string_view folder) {
    return IndexOf(folder)->Size();
}

}  // namespace kestrom
