#include "window/EventLogState.h"

#include <algorithm>

#include "core/LogLine.h"
#include "core/Settings.h"

namespace kestrom {

CEventLogState::CEventLogState()
    : maxLines_(static_cast<std::size_t>(CKestromSettings{}.LogListLines)) {}

CLogHandOver::Batch CEventLogState::OneLine(std::u16string_view message, LogLevel level,
                                            const LocalDateTime& when) const {
    CLogHandOver::Batch batch;
    if (level == LogLevel::kNever) return batch;
    if (LogEvents()) batch.lines.push_back(FormatLogLine(when, message));
    if (level == LogLevel::kError) batch.errors = 1;
    return batch;
}

std::vector<std::string> CEventLogState::Accept(const CLogHandOver::Batch& batch,
                                                const LocalDateTime& now) {
    errorCount_ += static_cast<int>(batch.errors);
    std::vector<std::string> rows;
    // Said after the lines that came before the loss, so it stands where lines are missing.
    if (batch.dropped > 0) rows.push_back(FormatLogLine(now, LostLogLinesMessage(batch.dropped)));
    const std::size_t keep = RowsKept(batch.lines.size() + rows.size()) - rows.size();
    rows.insert(rows.end(), batch.lines.rbegin(),
                batch.lines.rbegin() + static_cast<std::ptrdiff_t>(keep));
    return rows;
}

void CEventLogState::SetMaxLines(std::size_t lines) {
    maxLines_ = std::max<std::size_t>(1, lines);
}

bool CEventLogState::GrowExtent(int pixels) {
    if (pixels <= extent_) return false;
    extent_ = pixels;
    return true;
}

}  // namespace kestrom
