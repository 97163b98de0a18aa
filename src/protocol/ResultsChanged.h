#pragma once
// The results-changed list ("DRQ", "DHQ"): which results files are newer than the client's
// copies, and the request that says which copies the client has.
#include <string>
#include <string_view>
#include <vector>

#include "base/FileFind.h"
#include "meetdata/Readers.h"

namespace kestrom {

// Which unlisted files a results-changed request takes in.
enum class ChangedMode {
    kAll,       // no letter: every unlisted file
    kIncluded,  // I: none
    kEvent,     // E: those of the first entry's event (all when there are no entries)
    kRound,     // R: those of the first entry's event and round (all when there are no entries)
};

// What the client sent: the mode and its copies, each a key with the copy's date stamp.
struct CResultsChangedQuery {
    ChangedMode mode = ChangedMode::kAll;
    std::vector<CEventInfo> entries;
    // Entries whose key or date stamp could not be read (skipped; one line counts them),
    // plus one when the count promised more entries than the payload holds.
    int badEntries = 0;
};

// Reads a results-changed payload (the characters between STX and ETX): an optional mode
// letter I, E or R, the entry count, a comma, and the entries "event,round,heat,stamp"
// separated by commas. A payload without that first comma gives nothing.
std::optional<CResultsChangedQuery> ParseResultsChangedQuery(std::u16string_view payload);

// The processor's list of changed files, in the order the scan found them.
class CResultsChanged {
  public:
    void RemoveAll() { entries_.clear(); }
    void Add(const CEventInfo& info) { entries_.push_back(info); }
    const std::vector<CEventInfo>& Entries() const { return entries_; }

    // Fills the list from a folder scan: every file whose name gives a key and that is newer
    // than the client's copy, or unlisted and taken in by the query's mode.
    void Collect(const CResultsChangedQuery& query, const std::vector<FoundFile>& files,
                 int eventDigits);

    // "%d" with the count, then ",%d,%d,%d" per entry; empty when the list is empty.
    std::u16string Payload() const;

  private:
    std::vector<CEventInfo> entries_;
};

}  // namespace kestrom
