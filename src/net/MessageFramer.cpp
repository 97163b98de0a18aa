#include "net/MessageFramer.h"

#include "protocol/RequestGrammar.h"

namespace kestrom {

void CMessageFramer::Clear() {
    buffer_.clear();
    scanned_ = 0;
    bufferedBytes_ = 0;
    oddByte_.reset();
}

CMessageFramer::CFeedResult CMessageFramer::Feed(std::string_view bytes, int charMode) {
    CFeedResult result;
    std::u16string chars;
    bool hitNul = false;
    if (charMode == 0) {
        // A byte left over from Unicode mode counts as a character of its own now.
        if (oddByte_) {
            if (*oddByte_ == 0)
                hitNul = true;
            else
                chars += static_cast<char16_t>(*oddByte_);
            oddByte_.reset();
        }
        for (size_t i = 0; i < bytes.size() && !hitNul; ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (b == 0)
                hitNul = true;
            else
                chars += static_cast<char16_t>(b);
        }
    } else {
        size_t i = 0;
        auto next = [&]() { return static_cast<unsigned char>(bytes[i++]); };
        size_t available = bytes.size() + (oddByte_ ? 1 : 0);
        while (available >= 2 && !hitNul) {
            unsigned char low;
            if (oddByte_) {
                low = *oddByte_;
                oddByte_.reset();
            } else {
                low = next();
            }
            const unsigned char high = next();
            available -= 2;
            const auto c = static_cast<char16_t>(low | (high << 8));
            if (c == 0)
                hitNul = true;
            else
                chars += c;
        }
        if (!hitNul && available == 1) oddByte_ = oddByte_ ? *oddByte_ : next();
        if (hitNul) oddByte_.reset();
    }

    buffer_ += chars;
    bufferedBytes_ += bytes.size();
    size_t leading = 0;
    while (leading < buffer_.size() && buffer_[leading] == kEOT) ++leading;
    if (leading > 0) {
        buffer_.erase(0, leading);
        scanned_ = 0;
    }
    if (buffer_.find(kEOT, scanned_) != std::u16string::npos) {
        result.message = std::move(buffer_);
        Clear();
        return result;
    }
    scanned_ = buffer_.size();
    if (bufferedBytes_ > kReceiveBufferLimitBytes) {
        Clear();
        result.discarded = true;
    }
    if (buffer_.empty()) bufferedBytes_ = oddByte_ ? 1 : 0;
    return result;
}

std::string EncodeForWire(std::u16string_view text, bool singleByte, int charMode) {
    const bool wide = !singleByte && charMode != 0;
    std::string out(text.size() * (wide ? 2 : 1), '\0');
    char* o = out.data();
    for (char16_t c : text) {
        *o++ = static_cast<char>(c & 0xFF);
        if (wide) *o++ = static_cast<char>(c >> 8);
    }
    return out;
}

}  // namespace kestrom
