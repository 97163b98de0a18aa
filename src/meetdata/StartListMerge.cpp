#include "meetdata/StartListMerge.h"

#include <algorithm>
#include <optional>

#include "base/TextScan.h"
#include "meetdata/MeetLines.h"

namespace kestrom {
namespace {

constexpr std::size_t kNone = std::u16string_view::npos;

bool StartsWithDigit(std::u16string_view line) {
    return !line.empty() && line.front() >= u'0' && line.front() <= u'9';
}

// Walks the content line by line through offsets; no table of lines is built, as the event
// file can hold a hundred thousand of them.
class CMergeScan {
  public:
    CMergeScan(std::u16string_view content, const CEventInfo& key) : content_(content), key_(key) {}

    CStartListSplice Run(std::u16string_view startList) {
        Scan();
        if (!replaced_ && plan_.parsed) plan_.cut = FindInsertionCut();
        if (!plan_.parsed) return plan_;

        std::u16string_view inserted = startList;
        if (plan_.exactMatch) {
            const std::size_t lf = startList.find(u'\n');
            if (lf != kNone) inserted = startList.substr(lf + 1);
        }
        // A replaced range is dropped between the cut and resume positions.
        if (!replaced_) plan_.resume = plan_.cut;
        plan_.inserted = inserted;
        // Text handed in without a final LF must not run into the start list.
        plan_.lineEndBefore =
            plan_.cut > 0 && content_[plan_.cut - 1] != u'\n' && !inserted.empty();
        plan_.lineEndAfter = !inserted.empty() && inserted.back() != u'\n';
        return plan_;
    }

  private:
    // The line starting at pos, without its LF.
    std::u16string_view LineAt(std::size_t pos) const {
        const std::size_t lf = FindUnit(content_, u'\n', pos);
        return content_.substr(pos, (lf == kNone ? content_.size() : lf) - pos);
    }
    // Where the line after the one starting at pos begins (the content's size after the last).
    std::size_t NextLine(std::size_t pos, std::u16string_view line) const {
        return std::min(pos + line.size() + 1, content_.size());
    }

    std::optional<CEventInfo> ReadHeader(std::u16string_view line) {
        CEventInfo header;
        plan_.parsed = ReadHeaderKey(line, header, scratch_);
        if (!plan_.parsed) {
            ++plan_.badHeaderReads;
            return std::nullopt;
        }
        return header;
    }

    void Scan() {
        std::size_t pos = 0;
        while (pos < content_.size()) {
            const std::u16string_view line = LineAt(pos);
            const std::size_t next = NextLine(pos, line);
            const std::size_t here = pos;
            pos = next;
            if (!StartsWithDigit(line)) continue;
            const auto header = ReadHeader(line);
            if (!header || header->event != key_.event) continue;
            if (header->round != key_.round) {
                if (insertion_ == kNone) insertion_ = here;
                continue;
            }
            if (header->heat != key_.heat) {
                insertion_ = here;
                continue;
            }
            plan_.exactMatch = true;
            insertion_ = kNone;
            if (next == content_.size() || replaced_) continue;
            // Everything under this header goes, up to the next line that begins with a digit.
            std::size_t resume = next;
            while (resume < content_.size()) {
                const std::u16string_view body = LineAt(resume);
                if (StartsWithDigit(body)) break;
                resume = NextLine(resume, body);
            }
            plan_.cut = next;
            plan_.resume = resume;
            replaced_ = true;
            pos = resume;
        }
    }

    // Before the first header after the insertion point that belongs to a later round or heat
    // of the key's event, or to another event; the end of the content otherwise.
    std::size_t FindInsertionCut() {
        if (insertion_ == kNone) return content_.size();
        std::size_t pos = insertion_;
        while (pos < content_.size()) {
            const std::u16string_view line = LineAt(pos);
            if (StartsWithDigit(line)) {
                const auto header = ReadHeader(line);
                if (!header) return content_.size();
                if (header->event != key_.event || header->round > key_.round ||
                    (header->round == key_.round && header->heat > key_.heat))
                    return pos;
            }
            pos = NextLine(pos, line);
        }
        return content_.size();
    }

    std::u16string_view content_;
    const CEventInfo& key_;
    CStartListSplice plan_;
    std::size_t insertion_ = kNone;
    bool replaced_ = false;
    std::u16string scratch_;
};

}  // namespace

std::array<std::u16string_view, 5> CStartListSplice::Pieces(std::u16string_view content) const {
    constexpr std::u16string_view kLineEnd = u"\n";
    return {content.substr(0, cut), lineEndBefore ? kLineEnd : std::u16string_view(), inserted,
            lineEndAfter ? kLineEnd : std::u16string_view(), content.substr(resume)};
}

CStartListSplice PlanStartListMerge(std::u16string_view content, std::u16string_view startList,
                                    const CEventInfo& key) {
    return CMergeScan(content, key).Run(startList);
}

CStartListMerge MergeStartList(std::u16string_view content, std::u16string_view startList,
                               const CEventInfo& key) {
    const CStartListSplice plan = PlanStartListMerge(content, startList, key);
    CStartListMerge merged{plan.parsed, plan.badHeaderReads, plan.exactMatch, {}};
    if (!plan.parsed) return merged;
    const auto pieces = plan.Pieces(content);
    std::size_t size = 0;
    for (auto piece : pieces) size += piece.size();
    merged.content.reserve(size);
    for (auto piece : pieces) merged.content.append(piece);
    return merged;
}

}  // namespace kestrom
