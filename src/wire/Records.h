#pragma once
// The shapes of whole messages as characters: a request as a device sends it, a reply record
// as the server answers, and a results upload with its checksum. Encoding them into bytes is
// WireText's job; the same functions serve the server, kestrom-client and the tests.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wire/WireChars.h"

namespace kestrom {

// SOH code STX payload ETX [trailer] EOT.
std::u16string BuildRequest(std::u16string_view code, std::u16string_view payload = {},
                            std::u16string_view trailer = {});

// The head of a reply record, SOH code ",PSZ=" size STX, for a payload of `payloadBytes`
// bytes on the wire: the size counts them plus the three control characters after it.
std::u16string ReplyHeader(std::u16string_view code, size_t payloadBytes);
// What closes every reply record behind its payload.
inline constexpr char16_t kReplyTrailer[] = {kETX, kEOT};
inline constexpr std::u16string_view kReplyTrailerText(kReplyTrailer, 2);
// The whole record, SOH code ",PSZ=" size STX payload ETX EOT, sized for `mode`.
std::u16string BuildReplyRecord(std::u16string_view code, std::u16string_view payload,
                                WireMode mode);

inline constexpr std::u16string_view kChecksumTag = u"CHK=";

// Sum (32 bits, wrapping) of the low byte of every character from the first through the
// fourth after `etx`, plus every high byte when `withHighBytes` is set (CharMode exactly 1).
// Nothing when the message ends before that.
std::optional<std::uint32_t> ComputeUploadChecksum(std::u16string_view message, size_t etx,
                                                   bool withHighBytes);

// The first STX and the first ETX of an upload, and its checksum, in one pass over it.
struct CUploadScan {
    size_t stx = 0;
    size_t etx = 0;
    // The message has an STX and an ETX, the STX first.
    bool bounded = false;
    // ComputeUploadChecksum's sum; nothing when the message ends before it.
    std::optional<std::uint32_t> checksum;
};
CUploadScan ScanUpload(std::u16string_view message, bool withHighBytes);

// What a results upload's payload becomes in its file, a piece at a time: each character
// unscrambled (-71) when `unscramble` is set, CR and LF each as CR LF, then as one byte (its low
// 8 bits) or, when `wide`, two bytes, low byte first. `out` has room for four bytes a
// character; returns the bytes written.
size_t StoredUploadBytes(std::u16string_view payload, bool unscramble, bool wide, char* out);

// The eight characters after the first "CHK=" at or after `etx`, read as hexadecimal, most
// significant first (either case; any other character counts as 255 in its place). Nothing
// when there is no "CHK=" there or fewer than eight characters follow it.
std::optional<std::uint32_t> ReadUploadChecksum(std::u16string_view message, size_t etx);

// SOH code STX payload ETX "CHK=" checksum EOT, as a device sends it. `payload` goes in as
// given (the caller scrambles it in single-byte mode).
std::u16string BuildUploadMessage(std::u16string_view code, std::u16string_view payload,
                                  bool withHighBytes);

}  // namespace kestrom
