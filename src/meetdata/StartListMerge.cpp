#include "meetdata/StartListMerge.h"

#include <optional>
#include <vector>

namespace kestrom {
namespace {

constexpr size_t kNone = std::u16string_view::npos;

bool StartsWithDigit(std::u16string_view line) {
    return !line.empty() && line.front() >= u'0' && line.front() <= u'9';
}

// Start offsets of the lines of `content`; a final line without LF still counts.
std::vector<size_t> LineStarts(std::u16string_view content) {
    std::vector<size_t> starts;
    size_t pos = 0;
    while (pos < content.size()) {
        starts.push_back(pos);
        const size_t lf = content.find(u'\n', pos);
        pos = lf == kNone ? content.size() : lf + 1;
    }
    return starts;
}

class CMergeScan {
  public:
    CMergeScan(std::u16string_view content, const CEventInfo& key)
        : content_(content), key_(key), starts_(LineStarts(content)) {}

    CStartListMerge Run(std::u16string_view startList) {
        Scan();
        if (!replaced_ && result_.parsed) cut_ = FindInsertionCut();
        if (!result_.parsed) return std::move(result_);

        std::u16string_view inserted = startList;
        if (result_.exactMatch) {
            const size_t lf = startList.find(u'\n');
            if (lf != kNone) inserted = startList.substr(lf + 1);
        }
        const bool needsLineEnd = !inserted.empty() && inserted.back() != u'\n';
        // A replaced range is dropped between the cut and resume positions.
        const size_t resume = replaced_ ? resume_ : cut_;
        std::u16string& out = result_.content;
        out.reserve(content_.size() - (resume - cut_) + inserted.size() + 1);
        out.append(content_.substr(0, cut_));
        // Text handed in without a final LF must not run into the start list.
        if (cut_ > 0 && content_[cut_ - 1] != u'\n' && !inserted.empty()) out.push_back(u'\n');
        out.append(inserted);
        if (needsLineEnd) out.push_back(u'\n');
        out.append(content_.substr(resume));
        return std::move(result_);
    }

  private:
    // Line i without its LF.
    std::u16string_view Line(size_t i) const {
        std::u16string_view line = content_.substr(starts_[i], LineEnd(i) - starts_[i]);
        if (!line.empty() && line.back() == u'\n') line.remove_suffix(1);
        return line;
    }
    size_t LineEnd(size_t i) const {
        return i + 1 < starts_.size() ? starts_[i + 1] : content_.size();
    }

    std::optional<CEventInfo> ReadHeader(size_t i) {
        CEventInfo header;
        result_.parsed = ReadEventKey(Line(i), header);
        if (!result_.parsed) {
            ++result_.badHeaderReads;
            return std::nullopt;
        }
        return header;
    }

    void Scan() {
        for (size_t i = 0; i < starts_.size(); ++i) {
            if (!StartsWithDigit(Line(i))) continue;
            const auto header = ReadHeader(i);
            if (!header || header->event != key_.event) continue;
            if (header->round != key_.round) {
                if (insertion_ == kNone) insertion_ = i;
                continue;
            }
            if (header->heat != key_.heat) {
                insertion_ = i;
                continue;
            }
            result_.exactMatch = true;
            insertion_ = kNone;
            if (i + 1 == starts_.size() || replaced_) continue;
            // Everything under this header goes, up to the next line that begins with a digit.
            size_t next = i + 1;
            while (next < starts_.size() && !StartsWithDigit(Line(next))) ++next;
            cut_ = LineEnd(i);
            resume_ = next < starts_.size() ? starts_[next] : content_.size();
            replaced_ = true;
            i = next - 1;
        }
    }

    // Before the first header after the insertion point that belongs to a later round or heat
    // of the key's event, or to another event; the end of the content otherwise.
    size_t FindInsertionCut() {
        if (insertion_ == kNone) return content_.size();
        for (size_t i = insertion_; i < starts_.size(); ++i) {
            if (!StartsWithDigit(Line(i))) continue;
            const auto header = ReadHeader(i);
            if (!header) return content_.size();
            if (header->event != key_.event || header->round > key_.round ||
                (header->round == key_.round && header->heat > key_.heat))
                return starts_[i];
        }
        return content_.size();
    }

    std::u16string_view content_;
    const CEventInfo& key_;
    std::vector<size_t> starts_;
    CStartListMerge result_;
    size_t insertion_ = kNone;
    bool replaced_ = false;
    size_t cut_ = 0;
    size_t resume_ = 0;
};

}  // namespace

CStartListMerge MergeStartList(std::u16string_view content, std::u16string_view startList,
                               const CEventInfo& key) {
    return CMergeScan(content, key).Run(startList);
}

}  // namespace kestrom
