#pragma once
// Turns a connection's byte stream into request messages by the character mode: one byte per
// character in single-byte mode, byte pairs (low byte first) in Unicode mode.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/MemoryBudget.h"
#include "wire/CommandTable.h"
#include "wire/WireText.h"

namespace kestrom {

// The most bytes taken by one read once a message is under way; the first read of a message
// takes few, so that a thousand idle connections stay small.
inline constexpr size_t kReceiveChunkBytes = 64 * 1024;
inline constexpr size_t kFirstReadBytes = 2048;

// How large an unfinished message may grow, in wire bytes, by what it is: uploads (results,
// start lists) and results-changed lists may be large, every other request is small. Until
// the command code has arrived the request bound applies.
struct CFrameLimits {
    size_t requestBytes = 64 * 1024;
    size_t uploadBytes = 16 * 1024 * 1024;
};

// True for the kinds that get the upload bound.
bool IsLargeRequestKind(RequestKind kind);

// Characters of an unfinished message. Storage above kMappedBufferBytes is mapped from the
// system on its own, not taken from the heap: on Linux glibc keeps freed large blocks in the
// arena of the thread that used them, so a discarded upload would otherwise stay resident for
// the life of the process. Small storage is a string from the heap.
inline constexpr size_t kMappedBufferBytes = 1024 * 1024;

class CCharBuffer {
  public:
    CCharBuffer() = default;
    ~CCharBuffer() { Release(); }
    CCharBuffer(const CCharBuffer&) = delete;
    CCharBuffer& operator=(const CCharBuffer&) = delete;

    size_t size() const { return mapped_ ? size_ : small_.size(); }
    size_t capacity() const { return mapped_ ? capacity_ : small_.capacity(); }
    bool empty() const { return size() == 0; }
    char16_t* data() { return mapped_ ? data_ : small_.data(); }
    std::u16string_view view() const {
        return mapped_ ? std::u16string_view(data_, size_) : std::u16string_view(small_);
    }
    // Grows to at least `chars` of storage, keeping the characters; false when the system
    // has no memory to give.
    bool Reserve(size_t chars);
    // Within the capacity only.
    void Resize(size_t chars);
    void EraseFront(size_t chars);
    // Empties the buffer for the next message: mapped storage is kept (its pages are already
    // there, so the next large message takes no page faults), heap storage is given back.
    void Recycle();
    // Gives the storage back to the heap or the system at once.
    void Release();
    // True while the storage is mapped apart from the heap.
    bool Mapped() const { return mapped_; }

  private:
    void Populate(size_t fromBytes, size_t toBytes);

    std::u16string small_;
    char16_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool mapped_ = false;
};

class CMessageFramer {
  public:
    enum class Discard { kNone, kTooLarge, kOverBudget };
    struct CFeedResult {
        // The whole buffer, first EOT and anything after it included, once it is complete.
        // It stays in the framer's storage until the next Feed, Recycle or Clear.
        std::optional<std::u16string_view> message;
        // Why the unfinished message was thrown away; the connection carries on afresh.
        Discard discarded = Discard::kNone;
        // The bound that was passed (kTooLarge), in wire bytes.
        size_t limitBytes = 0;
    };

    // Without a budget, the memory of unfinished messages is bounded by the limits alone.
    explicit CMessageFramer(CFrameLimits limits = {}, CMemoryBudget* budget = nullptr)
        : limits_(limits), budget_(budget) {}
    ~CMessageFramer() { Clear(); }
    CMessageFramer(const CMessageFramer&) = delete;
    CMessageFramer& operator=(const CMessageFramer&) = delete;

    // Takes one read's bytes. Characters from a NUL on are dropped with the rest of the read;
    // an odd trailing byte in Unicode mode waits for the next read; an EOT at the very start
    // of the buffer is dropped, since it could never end a message.
    CFeedResult Feed(std::string_view bytes, WireMode mode);
    // Done with the complete message: large storage stays for the connection's next message,
    // still charged to the budget, small storage goes back to the heap.
    void Recycle();
    // Throws away the unfinished message and gives its memory back.
    void Clear();

    // Of the unfinished message; a complete one counts as gone.
    size_t BufferedChars() const { return complete_ ? 0 : buffer_.size(); }
    size_t BufferedBytes() const { return complete_ ? 0 : bufferedBytes_; }
    // What the buffer holds in memory (its capacity), as charged to the budget.
    size_t HeldBytes() const { return held_; }
    bool BufferMapped() const { return buffer_.Mapped(); }
    bool HasOddByte() const { return decoder_.HasOddByte(); }
    bool Empty() const { return complete_ || (buffer_.empty() && !decoder_.HasOddByte()); }
    // True while storage kept from a served message waits for the next one.
    bool HoldsSpareStorage() const { return !complete_ && Empty() && held_ > 0; }

  private:
    // Gives back what the budget holds for this framer.
    void ReleaseBudget();
    // Forgets the message in progress: its scan, counts, kind and any odd byte.
    void ForgetMessage();
    // Room for `more` characters behind the buffer, charged to the budget; false when the
    // budget has no room.
    bool Reserve(size_t more);
    size_t LimitBytes();

    CFrameLimits limits_;
    CMemoryBudget* budget_;
    CCharBuffer buffer_;
    size_t scanned_ = 0;               // characters already known to hold no EOT
    size_t bufferedBytes_ = 0;         // wire bytes behind buffer_
    size_t held_ = 0;                  // bytes charged to the budget
    std::optional<RequestKind> kind_;  // the message's kind, once its command code is known
    bool complete_ = false;            // the buffer holds a message handed over by Feed
    CCharDecoder decoder_;
};

}  // namespace kestrom
