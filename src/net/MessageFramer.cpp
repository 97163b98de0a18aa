#include "net/MessageFramer.h"

#include <algorithm>

#include "protocol/CommandTable.h"
#include "protocol/RequestGrammar.h"

namespace kestrom {

bool IsLargeRequestKind(int kind) {
    switch (kind) {
        case kKindResultsUpload:
        case kKindResultsUploadStamped:
        case kKindStartListUpload:
        case kKindWenlowResultsChanged:
        case kKindHyWireResultsChanged:
            return true;
        default:
            return false;
    }
}

void CMessageFramer::Clear() {
    // Swapped out, not cleared: a discarded upload's capacity would otherwise stay with the
    // connection for its whole life.
    std::u16string().swap(buffer_);
    if (budget_ && held_ > 0) budget_->Release(held_);
    held_ = 0;
    scanned_ = 0;
    bufferedBytes_ = 0;
    kind_ = -1;
    oddByte_.reset();
}

bool CMessageFramer::Reserve(size_t more) {
    const size_t needed = buffer_.size() + more;
    if (needed <= buffer_.capacity()) return true;
    // Doubled, never past what the bound allows: each growth is a copy into fresh memory,
    // which costs more than the bytes themselves.
    const size_t limitChars = LimitBytes() + kReceiveChunkBytes;
    const size_t grown = std::min(buffer_.capacity() * 2, limitChars);
    const size_t capacity = std::max(needed, grown);
    const size_t bytes = capacity * sizeof(char16_t);
    if (bytes > held_) {
        if (budget_ && !budget_->TryAcquire(bytes - held_)) return false;
        held_ = bytes;
    }
    // A fresh string gets exactly the capacity asked for; reserve on the old one may double.
    std::u16string grownBuffer;
    grownBuffer.reserve(capacity);
    grownBuffer.append(buffer_);
    buffer_.swap(grownBuffer);
    return true;
}

size_t CMessageFramer::LimitBytes() {
    if (kind_ < 0) {
        // The kind is known once the code is: three characters after the first SOH, or an
        // STX before that.
        const size_t soh = buffer_.find(kSOH);
        if (soh != std::u16string::npos) {
            const std::u16string_view rest = std::u16string_view(buffer_).substr(soh + 1);
            if (rest.size() >= 3 || rest.find(kSTX) != std::u16string_view::npos)
                kind_ = LookupCommand(buffer_);
        }
    }
    return kind_ >= 0 && IsLargeRequestKind(kind_) ? limits_.uploadBytes : limits_.requestBytes;
}

CMessageFramer::CFeedResult CMessageFramer::Feed(std::string_view bytes, int charMode) {
    CFeedResult result;
    const size_t maxChars = bytes.size() + 1;
    if (!Reserve(maxChars)) {
        Clear();
        result.discarded = Discard::kOverBudget;
        return result;
    }
    const size_t start = buffer_.size();
    buffer_.resize(start + maxChars);
    char16_t* out = buffer_.data() + start;
    char16_t* const begin = out;
    if (charMode == 0) {
        // A byte left over from Unicode mode counts as a character of its own now.
        bool hitNul = false;
        if (oddByte_) {
            if (*oddByte_ == 0)
                hitNul = true;
            else
                *out++ = static_cast<char16_t>(*oddByte_);
            oddByte_.reset();
        }
        for (size_t i = 0; i < bytes.size() && !hitNul; ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (b == 0)
                hitNul = true;
            else
                *out++ = static_cast<char16_t>(b);
        }
    } else {
        size_t i = 0;
        auto next = [&]() { return static_cast<unsigned char>(bytes[i++]); };
        size_t available = bytes.size() + (oddByte_ ? 1 : 0);
        bool hitNul = false;
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
                *out++ = c;
        }
        if (!hitNul && available == 1) oddByte_ = oddByte_ ? *oddByte_ : next();
        if (hitNul) oddByte_.reset();
    }
    buffer_.resize(start + static_cast<size_t>(out - begin));
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
    const size_t limit = LimitBytes();
    if (bufferedBytes_ > limit) {
        Clear();
        result.discarded = Discard::kTooLarge;
        result.limitBytes = limit;
        return result;
    }
    if (buffer_.empty()) {
        bufferedBytes_ = oddByte_ ? 1 : 0;
        kind_ = -1;
    }
    return result;
}

}  // namespace kestrom
