#include "net/MessageFramer.h"

#include <algorithm>
#include <cstring>

#include "net/Platform.h"
#include "wire/CommandTable.h"
#include "wire/RequestGrammar.h"

namespace kestrom {

bool IsLargeRequestKind(RequestKind kind) {
    switch (kind) {
        case RequestKind::kResultsUpload:
        case RequestKind::kResultsUploadStamped:
        case RequestKind::kStartListUpload:
        case RequestKind::kWenlowResultsChanged:
        case RequestKind::kHyWireResultsChanged:
            return true;
        default:
            return false;
    }
}

// The pages are about to be written.
void CCharBuffer::Populate(size_t fromBytes, size_t toBytes) {
    PopulatePages(reinterpret_cast<char*>(data_) + fromBytes, toBytes - fromBytes);
}

bool CCharBuffer::Reserve(size_t chars) {
    if (chars <= capacity()) return true;
    size_t bytes = chars * sizeof(char16_t);
    if (bytes <= kMappedBufferBytes) {
        // A fresh string gets exactly the capacity asked for; reserve on the old one may
        // double.
        std::u16string grown;
        grown.reserve(chars);
        grown.append(small_);
        small_.swap(grown);
        return true;
    }
    const size_t page = PageSize();
    bytes = (bytes + page - 1) / page * page;
    if (mapped_) {
        void* p = RemapPages(data_, capacity_ * sizeof(char16_t), bytes);
        if (!p) return false;
        data_ = static_cast<char16_t*>(p);
        Populate(capacity_ * sizeof(char16_t), bytes);
    } else {
        void* p = MapPages(bytes);
        if (!p) return false;
        data_ = static_cast<char16_t*>(p);
        Populate(0, bytes);
        size_ = small_.size();
        if (size_ > 0) std::memcpy(data_, small_.data(), size_ * sizeof(char16_t));
        std::u16string().swap(small_);
        mapped_ = true;
    }
    capacity_ = bytes / sizeof(char16_t);
    return true;
}

void CCharBuffer::Resize(size_t chars) {
    if (mapped_)
        size_ = chars;
    else
        small_.resize(chars);
}

void CCharBuffer::EraseFront(size_t chars) {
    if (!mapped_) {
        small_.erase(0, chars);
        return;
    }
    chars = std::min(chars, size_);
    std::memmove(data_, data_ + chars, (size_ - chars) * sizeof(char16_t));
    size_ -= chars;
}

void CCharBuffer::Recycle() {
    if (mapped_)
        size_ = 0;
    else
        Release();
}

void CCharBuffer::Release() {
    if (mapped_) UnmapPages(data_, capacity_ * sizeof(char16_t));
    std::u16string().swap(small_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    mapped_ = false;
}

void CMessageFramer::Recycle() {
    buffer_.Recycle();
    if (!buffer_.Mapped()) ReleaseBudget();
    ForgetMessage();
}

void CMessageFramer::ReleaseBudget() {
    if (budget_ && held_ > 0) budget_->Release(held_);
    held_ = 0;
}

void CMessageFramer::ForgetMessage() {
    complete_ = false;
    scanned_ = 0;
    bufferedBytes_ = 0;
    kind_.reset();
    decoder_.Clear();
}

void CMessageFramer::Clear() {
    // Released, not emptied: a discarded upload's capacity would otherwise stay with the
    // connection for its whole life.
    buffer_.Release();
    ReleaseBudget();
    ForgetMessage();
}

bool CMessageFramer::Reserve(size_t more) {
    const size_t needed = buffer_.size() + more;
    if (needed <= buffer_.capacity()) return true;
    // Heap storage is doubled, never past what the bound allows: each growth is a copy into
    // fresh memory, which costs more than the bytes themselves. Mapped storage grows by
    // kMappedBufferBytes at a time: the kernel moves its pages without a copy, and every page
    // it holds is charged to the budget and populated.
    const size_t limitChars = LimitBytes() + kReceiveChunkBytes;
    const size_t step =
        buffer_.Mapped() ? kMappedBufferBytes / sizeof(char16_t) : buffer_.capacity();
    const size_t grown = std::min(buffer_.capacity() + step, limitChars);
    const size_t capacity = std::max(needed, grown);
    const size_t bytes = capacity * sizeof(char16_t);
    if (bytes > held_) {
        if (budget_ && !budget_->TryAcquire(bytes - held_)) return false;
        held_ = bytes;
    }
    return buffer_.Reserve(capacity);
}

size_t CMessageFramer::LimitBytes() {
    if (!kind_) {
        // The kind is known once the code is: three characters after the first SOH, or an
        // STX before that.
        const std::u16string_view chars = buffer_.view();
        const size_t soh = chars.find(kSOH);
        if (soh != std::u16string_view::npos) {
            const std::u16string_view rest = chars.substr(soh + 1);
            if (rest.size() >= 3 || rest.find(kSTX) != std::u16string_view::npos)
                kind_ = LookupCommand(chars);
        }
    }
    return kind_ && IsLargeRequestKind(*kind_) ? limits_.uploadBytes : limits_.requestBytes;
}

CMessageFramer::CFeedResult CMessageFramer::Feed(std::string_view bytes, WireMode mode) {
    if (complete_) Recycle();
    CFeedResult result;
    const size_t maxChars = bytes.size() + 1;
    if (!Reserve(maxChars)) {
        Clear();
        result.discarded = Discard::kOverBudget;
        return result;
    }
    const size_t start = buffer_.size();
    buffer_.Resize(start + maxChars);
    const size_t chars = decoder_.Decode(bytes, mode, buffer_.data() + start);
    buffer_.Resize(start + chars);
    bufferedBytes_ += bytes.size();

    size_t leading = 0;
    while (leading < buffer_.size() && buffer_.data()[leading] == kEOT) ++leading;
    if (leading > 0) {
        buffer_.EraseFront(leading);
        scanned_ = 0;
    }
    if (FindChar(buffer_.view(), kEOT, scanned_) != std::u16string_view::npos) {
        complete_ = true;
        result.message = buffer_.view();
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
        bufferedBytes_ = decoder_.HasOddByte() ? 1 : 0;
        kind_.reset();
    }
    return result;
}

}  // namespace kestrom
