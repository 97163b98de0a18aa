#include "window/LogCourier.h"

#include "core/Settings.h"

namespace kestrom {

CLogCourier::CLogCourier(CWindowThreadCaller& caller, Sink sink)
    : caller_(caller),
      sink_(std::move(sink)),
      handOver_(static_cast<std::size_t>(CKestromSettings{}.LogBacklogLines)) {}

void CLogCourier::Add(std::u16string_view text, LogLevel level, bool show,
                      const LocalDateTime& when) {
    if (level == LogLevel::kNever) return;
    const bool takeAsked = handOver_.Add(when, text, level, show);
    if (caller_.OnWindowThread()) {
        if (!caller_.IsClosed()) Take();
    } else if (takeAsked) {
        caller_.Post([this] { Take(); });
    }
}

void CLogCourier::Take() {
    const CLogHandOver::Batch batch = handOver_.Take(kLinesPerTake);
    sink_(batch);
    if (batch.more) caller_.Post([this] { Take(); });
}

}  // namespace kestrom
