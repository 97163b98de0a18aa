#pragma once
// The readers every meet-file and request parser shares: comma fields with quoting, the event
// key with its direction mark, and the field-event test; the
// 14-digit date stamp comes from wire/DateStamp.h.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "base/LocalTime.h"
#include "wire/DateStamp.h"

namespace kestrom {

// An event key (event, round, heat; -1 means not set) with a time value. Requests pass it by
// value; the results-changed list keeps the client's date stamp in `time`.
class CEventInfo {
  public:
    CEventInfo();
    CEventInfo(std::int16_t e, std::int16_t r, std::int16_t h, TimeValue t);

    bool SameKey(const CEventInfo& other) const {
        return event == other.event && round == other.round && heat == other.heat;
    }

    std::int16_t event = -1;
    std::int16_t round = -1;
    std::int16_t heat = -1;
    std::u16string text;
    TimeValue time;  // 1970-01-02 00:01:00 local time until set
};

// Field `index` (from 0) of `line`, split at `separator`; a field may be quoted with `quote`
// (0: no quoting). A quoted field is returned without its quotes; nothing is trimmed. An
// empty field, or a line with fewer fields, gives nothing.
std::optional<std::u16string_view> ReadField(std::u16string_view line, int index,
                                             char16_t separator = u',', char16_t quote = u'"');

// The fields of a line one after the other, by the rules of ReadField, in one pass over the
// line (reading field i with ReadField starts again from the line's start each time).
class CFieldCursor {
  public:
    explicit CFieldCursor(std::u16string_view line, char16_t separator = u',',
                          char16_t quote = u'"')
        : line_(line), separator_(separator), quote_(quote) {}
    // The next field's text, possibly empty; nothing once the last field has been read.
    std::optional<std::u16string_view> Next();

  private:
    std::u16string_view line_;
    char16_t separator_;
    char16_t quote_;
    size_t start_ = 0;
    bool done_ = false;
};

// Direction mark of a request key: '+', '-' or a blank.
inline constexpr char16_t kNoDirection = u' ';

// A key member read from decimal digits, kept in 16 bits: 0 to 32767 as it is, 32768 to 65534
// as its low 16 bits give it (40000 becomes -25536), and 65535 and above, whose low 16 bits
// would read as "not set" (-1) or as another heat's number (65543 as 7), all -32768. No
// number too wide for the key ever lands on a key that digits within its range give.
std::int16_t KeyMemberFromNumber(std::uint64_t value);

// Reads fields 0 to 2 of `text` as event, round and heat: each must be present and all
// decimal digits; their numbers are kept in 16 bits by KeyMemberFromNumber. On failure the key
// members read so far stay as they are and the rest stay -1. When `mark` is given it receives field
// 3 if that is exactly "+" or "-", else a blank.
bool ReadEventKey(std::u16string_view text, CEventInfo& key, char16_t* mark = nullptr);

// "(event,round,heat)" as log lines show a key; `separator` '-' gives "(event-round-heat)".
std::u16string EventKeyText(const CEventInfo& key, char16_t separator = u',');

// True when field 4 of an event header line starts with one of the field-event type codes.
bool IsFieldEvent(std::u16string_view headerLine);

}  // namespace kestrom
