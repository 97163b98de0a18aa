#include "wire/ReplyParser.h"

#include <algorithm>

namespace kestrom {

namespace {

constexpr std::u16string_view kSizeTag = u",PSZ=";
// The image stamp: 14 digits and a comma.
constexpr std::size_t kStampChars = 15;

}  // namespace

void CReplyParser::Start(ReplyShape shape, WireMode mode, bool keepPayload) {
    shape_ = shape;
    // Pictures travel one byte per character in both modes.
    mode_ = shape == ReplyShape::kRecord ? mode : WireMode::kSingleByte;
    keepPayload_ = keepPayload;
    state_ = State::kStart;
    outcome_ = CReplyOutcome();
    head_.clear();
    lowByte_ = -1;
    left_ = 0;
}

void CReplyParser::Fail(const char* why) {
    outcome_.error = why;
    outcome_.complete = false;
    state_ = State::kDone;
}

bool CReplyParser::TakeChar(const char*& p, const char* end, char16_t& c) {
    while (p < end) {
        const auto b = static_cast<unsigned char>(*p++);
        ++outcome_.bytes;
        if (mode_ == WireMode::kSingleByte) {
            c = b;
            return true;
        }
        if (lowByte_ < 0) {
            lowByte_ = b;
            continue;
        }
        c = static_cast<char16_t>(lowByte_ | (b << 8));
        lowByte_ = -1;
        return true;
    }
    return false;
}

void CReplyParser::HeaderDone() {
    const std::size_t tag = head_.find(kSizeTag);
    if (tag == std::u16string::npos) return Fail("header without PSZ");
    outcome_.code = head_.substr(0, tag);
    const std::u16string_view sizeText = std::u16string_view(head_).substr(tag + kSizeTag.size());
    if (sizeText.empty()) return Fail("bad PSZ");
    std::uint64_t size = 0;
    for (char16_t c : sizeText) {
        // Twenty digits would pass 64 bits; no reply comes near.
        if (c < u'0' || c > u'9' || size > UINT64_MAX / 10 - 9) return Fail("bad PSZ");
        size = size * 10 + (c - u'0');
    }
    outcome_.size = size;
    head_.clear();
    if (shape_ == ReplyShape::kImage) {
        // An empty image is closed by ETX alone; a picture follows its stamp and a comma.
        outcome_.emptyPayload = size == 0;
        left_ = size;
        state_ = size == 0 ? State::kEtx : State::kStamp;
        return;
    }
    // PSZ counts the payload's bytes and the three control characters after the size.
    if (size < 3) return Fail("PSZ below 3");
    left_ = size - 3;
    outcome_.emptyPayload = left_ == 0;
    state_ = State::kBody;
}

std::size_t CReplyParser::Feed(std::string_view bytes) {
    const char* const data = bytes.data();
    const char* p = data;
    const char* const end = data + bytes.size();
    auto used = [&] { return static_cast<std::size_t>(p - data); };
    char16_t c = 0;
    while (state_ != State::kDone) {
        switch (state_) {
            case State::kStart:
                if (!TakeChar(p, end, c)) return used();
                if (c != kSOH)
                    Fail("reply does not start with SOH");
                else
                    state_ = State::kHeader;
                break;
            case State::kHeader:
                if (!TakeChar(p, end, c)) return used();
                if (c == kSTX)
                    HeaderDone();
                else if (head_.size() >= kMaxHeaderChars)
                    Fail("header too long");
                else
                    head_ += c;
                break;
            case State::kStamp:
                if (!TakeChar(p, end, c)) return used();
                head_ += c;
                if (head_.size() == kStampChars) {
                    if (c != u',')
                        Fail("image stamp without comma");
                    else
                        state_ = State::kBody;
                }
                break;
            case State::kBody: {
                const auto take = static_cast<std::size_t>(
                    std::min<std::uint64_t>(left_, static_cast<std::uint64_t>(end - p)));
                if (keepPayload_) outcome_.payloadBytes.append(p, take);
                p += take;
                left_ -= take;
                outcome_.bytes += take;
                if (left_ > 0) return used();
                if (shape_ == ReplyShape::kImage) {
                    outcome_.complete = true;
                    state_ = State::kDone;
                } else {
                    state_ = State::kEtx;
                }
                break;
            }
            case State::kEtx:
                if (!TakeChar(p, end, c)) return used();
                if (c != kETX) {
                    Fail("payload not closed by ETX");
                } else if (shape_ == ReplyShape::kImage) {
                    outcome_.complete = true;
                    state_ = State::kDone;
                } else {
                    state_ = State::kEot;
                }
                break;
            case State::kEot:
                if (!TakeChar(p, end, c)) return used();
                if (c != kEOT) {
                    Fail("reply not closed by EOT");
                } else {
                    outcome_.complete = true;
                    state_ = State::kDone;
                }
                break;
            case State::kDone:
                break;
        }
    }
    return used();
}

}  // namespace kestrom
