#pragma once
// Turns a connection's byte stream into request messages by the character mode: one byte per
// character in mode 0, byte pairs (low byte first) in any other mode.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrom {

// At most this many bytes are taken per read.
inline constexpr size_t kReceiveChunkBytes = 1024;
// A client that streams this much without completing a message loses what it sent; the
// connection carries on with an empty buffer.
inline constexpr size_t kReceiveBufferLimitBytes = 4 * 1024 * 1024;

class CMessageFramer {
  public:
    struct CFeedResult {
        // The whole buffer, first EOT and anything after it included, once it is complete.
        std::optional<std::u16string> message;
        // The buffer passed the limit without a complete message and was thrown away.
        bool discarded = false;
    };

    // Takes one read's bytes. Characters from a NUL on are dropped with the rest of the read;
    // an odd trailing byte in Unicode mode waits for the next read; an EOT at the very start
    // of the buffer is dropped, since it could never end a message.
    CFeedResult Feed(std::string_view bytes, int charMode);

    size_t BufferedChars() const { return buffer_.size(); }
    bool HasOddByte() const { return oddByte_.has_value(); }

  private:
    void Clear();

    std::u16string buffer_;
    size_t scanned_ = 0;        // characters already known to hold no EOT
    size_t bufferedBytes_ = 0;  // wire bytes behind buffer_
    std::optional<unsigned char> oddByte_;
};

// The bytes a text becomes on the wire: one byte (the low 8 bits) per character when
// singleByte is set or charMode is 0, else two bytes, low byte first.
std::string EncodeForWire(std::u16string_view text, bool singleByte, int charMode);

}  // namespace kestrom
