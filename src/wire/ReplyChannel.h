#pragma once
// The sending side of one connection as the request handlers see it.
#include <cstddef>
#include <string>
#include <string_view>

#include "base/MemoryBudget.h"

namespace kestrom {

// Where replies go: the connection socket, or a recorder in tests. SendText sends every
// character as one byte (its low 8 bits) when singleByte is set or CharMode is 0, else as two
// bytes low byte first; it returns the bytes sent, or -1 on failure.
class CReplyChannel {
  public:
    virtual ~CReplyChannel() = default;
    virtual int SendText(std::u16string_view text, bool singleByte) = 0;
    // Bytes exactly as given (the image reply): the same bytes as SendText with singleByte set
    // on the bytes widened to characters, which is what this default does. The connection
    // sends them without the detour through characters.
    virtual int SendBytes(std::string_view bytes) {
        std::u16string text(bytes.size(), u'\0');
        for (size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
        return SendText(text, true);
    }
    // Holds `bytes` of the server's memory for large replies while `hold` lives, waiting a
    // while for room; false when there was none (the caller answers as for a failure). A
    // channel without such a budget always grants.
    virtual bool HoldReplyMemory(size_t /*bytes*/, CBudgetHold& /*hold*/) { return true; }
    // Ends the connection: a reply that cannot be completed as announced must not be
    // taken for a whole one.
    virtual void Abort() {}
};

}  // namespace kestrom
