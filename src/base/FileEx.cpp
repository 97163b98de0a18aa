#include "base/FileEx.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/FileCause.h"
#include "base/Path.h"
#include "base/TextScan.h"

namespace kestrom {

namespace {

constexpr char16_t kCR = u'\r';
constexpr char16_t kLF = u'\n';

bool Contains(std::u16string_view set, char16_t ch) {
    return set.find(ch) != std::u16string_view::npos;
}

// Position of the dot that starts the extension (at most three characters after it, no
// separator after it), or npos.
std::size_t ExtensionDot(std::u16string_view path) {
    std::size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos) return dot;
    std::size_t sep = LastPathSeparator(path);
    if (sep != std::u16string_view::npos && dot < sep) return std::u16string_view::npos;
    if (path.size() - dot - 1 > 3) return std::u16string_view::npos;
    return dot;
}

}  // namespace

CFileEx::~CFileEx() {
    Close();
}

// ---------------------------------------------------------------- path

void CFileEx::SetFileName(std::u16string_view name, bool hasOwnExtension) {
    std::u16string ext = GetExtension();
    std::size_t sep = LastPathSeparator(path_);
    path_.resize(sep == std::u16string::npos ? 0 : sep + 1);
    path_ += name;
    if (!hasOwnExtension) SetExtension(ext);
}

std::u16string CFileEx::GetExtension() const {
    std::size_t dot = ExtensionDot(path_);
    return dot == std::u16string::npos ? std::u16string() : path_.substr(dot + 1);
}

void CFileEx::SetExtension(std::u16string_view ext) {
    std::size_t dot = ExtensionDot(path_);
    if (dot != std::u16string::npos) path_.resize(dot);
    // An empty extension leaves no trailing dot: "name." would be another file here, while the
    // platform these names come from drops such a dot.
    if (!ext.empty()) {
        path_ += u'.';
        path_ += ext;
    }
}

// ---------------------------------------------------------------- open and close

CStatus CFileEx::Open(unsigned flags) {
    auto fail = [](int c) { return CStatus::Failure(c); };
    Close();
    error_ = 0;
    use_ = BufferUse::kNone;
    bufPos_ = bufLen_ = 0;
    hasPeeked_ = false;
    pendingSkip_ = 0;
    heldByte_ = -1;
    drained_ = false;

    if (const int c = file_.Open(path_, flags)) return fail(c);
    readOnlyFile_ = file_.IsReadOnlyFile();
    // Not zero-filled: every request opens its files afresh, and only bytes read or written
    // are ever looked at.
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
    return {};
}

bool CFileEx::Close() {
    if (!file_.IsOpen()) return true;
    bool ok = Flush();
    if (const int c = file_.Close(); c != 0 && ok) {
        Fail(c);
        ok = false;
    }
    use_ = BufferUse::kNone;
    bufPos_ = bufLen_ = 0;
    hasPeeked_ = false;
    return ok;
}

void CFileEx::Fail(int cause) {
    if (error_ == 0) error_ = cause;
}

bool CFileEx::Flush() {
    if (!file_.IsOpen()) return false;
    if (use_ != BufferUse::kWriting || bufLen_ == 0) return error_ == 0;
    const int err = file_.WriteAll(buffer_.get(), bufLen_);
    bufLen_ = 0;
    use_ = BufferUse::kNone;
    if (err != 0) Fail(err);
    return err == 0 && error_ == 0;
}

bool CFileEx::Sync() {
    if (!Flush()) return false;
    if (const int c = file_.Sync()) {
        Fail(c);
        return false;
    }
    return true;
}

// Gives the unread rest of the read buffer back to the file, so the file position is the
// logical one again.
bool CFileEx::EndReading() {
    if (use_ != BufferUse::kReading) return true;
    const auto unread = static_cast<std::int64_t>(bufLen_ - bufPos_);
    bufPos_ = bufLen_ = 0;
    use_ = BufferUse::kNone;
    if (unread > 0 && !file_.SeekBy(-unread)) {
        Fail(file_cause::kBadSeek);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- bytes

bool CFileEx::FillBuffer() {
    if (!file_.IsOpen()) return false;
    if (use_ == BufferUse::kWriting && !Flush()) return false;
    if (drained_) {
        use_ = BufferUse::kNone;
        return false;
    }
    int err = 0;
    std::int64_t n = file_.ReadSome(buffer_.get(), kBufferSize, err);
    if (n < 0) {
        Fail(err);
        n = 0;
    }
    // A file opened only for reading that gives less than a buffer has nothing more for now;
    // the read that would only say so is saved (every request reads its files to the end).
    drained_ = readOnlyFile_ && static_cast<std::size_t>(n) < kBufferSize;
    bufPos_ = 0;
    bufLen_ = static_cast<std::size_t>(n);
    use_ = n > 0 ? BufferUse::kReading : BufferUse::kNone;
    return n > 0;
}

bool CFileEx::ReadByte(unsigned char& b) {
    if (use_ != BufferUse::kReading || bufPos_ == bufLen_) {
        if (!FillBuffer()) return false;
    }
    b = buffer_[bufPos_++];
    return true;
}

bool CFileEx::ReadBytes(unsigned char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (!ReadByte(b[i])) return false;
    return true;
}

std::size_t CFileEx::Read(void* data, std::size_t size) {
    if (!file_.IsOpen()) return 0;
    auto* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        if (use_ == BufferUse::kReading && bufPos_ < bufLen_) {
            std::size_t n = std::min(size - done, bufLen_ - bufPos_);
            std::memcpy(out + done, buffer_.get() + bufPos_, n);
            bufPos_ += n;
            done += n;
        } else if (size - done >= kBufferSize) {
            if (use_ == BufferUse::kWriting && !Flush()) break;
            use_ = BufferUse::kNone;
            int err = 0;
            const std::int64_t n = file_.ReadSome(out + done, size - done, err);
            if (n < 0) Fail(err);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        } else if (!FillBuffer()) {
            break;
        }
    }
    return done;
}

bool CFileEx::Write(const void* data, std::size_t size) {
    if (!file_.IsOpen()) return false;
    if (!EndReading()) return false;
    const auto* in = static_cast<const unsigned char*>(data);
    if (bufLen_ + size > kBufferSize) {
        if (!Flush()) return false;
        if (size >= kBufferSize) {
            if (const int err = file_.WriteAll(in, size)) {
                Fail(err);
                return false;
            }
            return true;
        }
    }
    std::memcpy(buffer_.get() + bufLen_, in, size);
    bufLen_ += size;
    use_ = BufferUse::kWriting;
    return true;
}

bool CFileEx::PutByte(unsigned char b) {
    if (use_ != BufferUse::kWriting || bufLen_ == kBufferSize) return Write(&b, 1);
    buffer_[bufLen_++] = b;
    return true;
}

std::uint64_t CFileEx::GetLength() {
    if (!file_.IsOpen()) return 0;
    if (use_ == BufferUse::kWriting) Flush();
    std::uint64_t length = 0;
    return file_.Length(length) ? length : 0;
}

bool CFileEx::SetLength(std::uint64_t length) {
    if (!file_.IsOpen() || !Flush() || !EndReading()) return false;
    if (const int c = file_.Truncate(length)) {
        Fail(c);
        return false;
    }
    return true;
}

bool CFileEx::Seek(std::uint64_t position) {
    if (!file_.IsOpen() || !Flush()) return false;
    use_ = BufferUse::kNone;
    bufPos_ = bufLen_ = 0;
    hasPeeked_ = false;
    pendingSkip_ = 0;
    heldByte_ = -1;
    drained_ = false;
    if (!file_.SeekTo(position)) {
        Fail(file_cause::kBadSeek);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- characters

void CFileEx::SetReadLineEndMode(LineEnd mode) {
    readLineEndMode_ = mode;
    pendingSkip_ = 0;
    readLineEndChar_ = 0;
    if (mode == LineEnd::kCR || mode == LineEnd::kCRLF) readLineEndChar_ = kCR;
    if (mode == LineEnd::kLF || mode == LineEnd::kLFCR) readLineEndChar_ = kLF;
}

// One character by the read encoding, before line-end handling; false at the end of the file.
bool CFileEx::DecodeNext(char16_t& ch) {
    if (heldByte_ >= 0) {
        ch = static_cast<char16_t>(heldByte_);
        heldByte_ = -1;
        return true;
    }
    unsigned char b[2];
    if (readEncoding_ == FileEncoding::kUtf16) {
        if (use_ == BufferUse::kReading && bufLen_ - bufPos_ >= 2) {
            b[0] = buffer_[bufPos_];
            b[1] = buffer_[bufPos_ + 1];
            bufPos_ += 2;
        } else if (!ReadBytes(b, 2)) {
            return false;
        }
        // FE FF files are decoded high byte first: their writers meant it so, and reading
        // them low byte first would turn every character into garbage.
        ch = byteOrder_ == 1 ? static_cast<char16_t>(b[0] << 8 | b[1])
                             : static_cast<char16_t>(b[1] << 8 | b[0]);
        return true;
    }
    if (!ReadByte(b[0])) return false;
    ch = b[0];
    if (readEncoding_ != FileEncoding::kAuto) return true;
    readEncoding_ = FileEncoding::k8Bit;
    if (b[0] != 0xFF && b[0] != 0xFE) return true;
    if (!ReadByte(b[1])) return true;  // a file of one such byte: deliver it
    if ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE)) {
        readEncoding_ = FileEncoding::kUtf16;
        byteOrder_ = b[0] == 0xFE ? 1 : 0;
        return DecodeNext(ch);
    }
    // Not a mark after all: an 8-bit file; both bytes are text and both are delivered.
    heldByte_ = b[1];
    return true;
}

bool CFileEx::NextChar(char16_t& out) {
    if (hasPeeked_) {
        hasPeeked_ = false;
        out = peeked_;
        return true;
    }
    if (!file_.IsOpen()) return false;
    for (;;) {
        char16_t ch;
        if (!DecodeNext(ch)) return false;
        if (pendingSkip_ != 0 && ch == pendingSkip_) {
            pendingSkip_ = 0;
            if (readLineEndMode_ == LineEnd::kCR) readLineEndMode_ = LineEnd::kCRLF;
            if (readLineEndMode_ == LineEnd::kLF) readLineEndMode_ = LineEnd::kLFCR;
            continue;
        }
        pendingSkip_ = 0;
        if (readLineEndMode_ == LineEnd::kAuto) {
            if (ch == kLF) {
                SetReadLineEndMode(LineEnd::kLF);
                pendingSkip_ = kCR;
            } else if (ch == kCR) {
                SetReadLineEndMode(LineEnd::kCR);
                pendingSkip_ = kLF;
            }
        }
        if (readLineEndChar_ != 0 && ch == readLineEndChar_) {
            if (readLineEndMode_ == LineEnd::kCRLF) pendingSkip_ = kLF;
            if (readLineEndMode_ == LineEnd::kLFCR) pendingSkip_ = kCR;
            ch = kLF;
        }
        out = ch;
        return true;
    }
}

std::optional<char16_t> CFileEx::ReadChar() {
    char16_t ch;
    if (!NextChar(ch)) return std::nullopt;
    return ch;
}

bool CFileEx::NotAtEnd() {
    // Every request reads its files to their end, so the end is told without an exception.
    if (hasPeeked_) return true;
    if (!NextChar(peeked_)) return false;
    hasPeeked_ = true;
    return true;
}

// The bytes below 256 that stand for themselves in ReadToken: all but the line-end
// characters, the terminators and the skipped characters (the stops).
struct CFileEx::PlainBytes {
    PlainBytes(std::u16string_view terminators, std::u16string_view skipped) {
        plain.fill(true);
        Stop(kCR);
        Stop(kLF);
        for (char16_t ch : terminators) Stop(ch);
        for (char16_t ch : skipped) Stop(ch);
    }
    void Stop(char16_t ch) {
        if (ch >= 256) {
            wideStops = true;
            return;
        }
        if (!plain[ch]) return;
        plain[ch] = false;
        if (stopCount < stops.size()) stops[stopCount] = static_cast<unsigned char>(ch);
        ++stopCount;
    }
    // Where the run of plain bytes starting at p ends.
    const unsigned char* SkipPlain(const unsigned char* p, const unsigned char* end) const {
        p = SkipBlocks<false>(p, end);
        while (p < end && plain[*p]) ++p;
        return p;
    }
    // The same over low-byte-first UTF-16 units, when every stop is below 256: where the run
    // of plain units starting at p ends (a last odd byte is left).
    const unsigned char* SkipPlainUnits(const unsigned char* p, const unsigned char* end) const {
        p = SkipBlocks<true>(p, end);
        while (end - p >= 2 && (p[1] != 0 || plain[p[0]])) p += 2;
        return p;
    }
    // Sixteen bytes at a time against up to four stops, as bytes or as 16-bit units; the
    // event file is megabytes of text with a line end every few dozen bytes. Leaves p at the
    // first stop, or where fewer than sixteen bytes are left for the caller's loop.
    template <bool kUnits>
    const unsigned char* SkipBlocks(const unsigned char* p, const unsigned char* end) const {
#if defined(__SSE2__)
        if (stopCount > stops.size()) return p;
        auto equal = [](__m128i a, __m128i b) {
            return kUnits ? _mm_cmpeq_epi16(a, b) : _mm_cmpeq_epi8(a, b);
        };
        __m128i stop[4];
        for (size_t i = 0; i < 4; ++i) {
            const unsigned char b = stops[i < stopCount ? i : 0];
            stop[i] = kUnits ? _mm_set1_epi16(b) : _mm_set1_epi8(static_cast<char>(b));
        }
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i hit = _mm_or_si128(_mm_or_si128(equal(v, stop[0]), equal(v, stop[1])),
                                             _mm_or_si128(equal(v, stop[2]), equal(v, stop[3])));
            const int mask = _mm_movemask_epi8(hit);
            if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
            p += 16;
        }
#endif
        (void)end;
        return p;
    }

    std::array<bool, 256> plain;
    std::array<unsigned char, 4> stops{};
    size_t stopCount = 0;
    bool wideStops = false;  // a terminator or skipped character at or above 256
};

void CFileEx::TakePlainRun(std::u16string& out, const PlainBytes& plain,
                           std::u16string_view terminators, std::u16string_view skipped) {
    // Only where ReadChar would hand each of these characters over unchanged: nothing read
    // ahead or held back, no line-end partner pending, the encoding settled.
    if (hasPeeked_ || pendingSkip_ != 0 || heldByte_ >= 0 || use_ != BufferUse::kReading ||
        readEncoding_ == FileEncoding::kAuto)
        return;
    const unsigned char* p = buffer_.get() + bufPos_;
    const unsigned char* end = buffer_.get() + bufLen_;
    const unsigned char* q = p;
    if (readEncoding_ != FileEncoding::kUtf16) {
        q = plain.SkipPlain(p, end);
        // Widened in place: appending the byte range itself would build a temporary string.
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(q - p));
        WidenBytes(p, static_cast<std::size_t>(q - p), out.data() + at);
    } else if (byteOrder_ == 0 && !plain.wideStops && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
        // Low byte first on a low-byte-first machine: the units are copied as they lie.
        q = plain.SkipPlainUnits(p, end);
        const std::size_t units = static_cast<std::size_t>(q - p) / 2;
        const std::size_t at = out.size();
        out.resize(at + units);
        std::memcpy(out.data() + at, p, units * 2);
    } else {
        while (end - q >= 2) {
            const auto ch = byteOrder_ == 1 ? static_cast<char16_t>(q[0] << 8 | q[1])
                                            : static_cast<char16_t>(q[1] << 8 | q[0]);
            if (ch < 256 ? !plain.plain[ch] : Contains(terminators, ch) || Contains(skipped, ch))
                break;
            out += ch;
            q += 2;
        }
    }
    bufPos_ += static_cast<std::size_t>(q - p);
}

int CFileEx::ReadToken(std::u16string& out, std::u16string_view terminators,
                       std::u16string_view commentStarts, std::u16string_view skipped) {
    const std::size_t start = out.size();
    // Bytes that stand for themselves: no line-end character, terminator or skipped one.
    const PlainBytes plain(terminators, skipped);
    for (;;) {
        int result = -1;
        bool anyRead = false;
        char16_t first = 0;
        char16_t ch;
        while (NextChar(ch)) {
            if (!anyRead) {
                first = ch;
                anyRead = true;
            }
            if (!terminators.empty() && Contains(terminators, ch)) {
                result = ch;
                break;
            }
            if (skipped.empty() || !Contains(skipped, ch)) out += ch;
            TakePlainRun(out, plain, terminators, skipped);
        }
        if (anyRead && !commentStarts.empty() && Contains(commentStarts, first)) {
            out.resize(start);
            if (NotAtEnd()) continue;
        }
        return result;
    }
}

void CFileEx::ResolveWriteEncoding() {
    if (writeEncoding_ == FileEncoding::kAuto) {
        writeEncoding_ =
            readEncoding_ == FileEncoding::kAuto ? FileEncoding::kUtf16 : readEncoding_;
    }
}

bool CFileEx::PutUnit(char16_t ch) {
    if (writeEncoding_ == FileEncoding::kUtf16) {
        return PutByte(static_cast<unsigned char>(ch & 0xFF)) &&
               PutByte(static_cast<unsigned char>(ch >> 8));
    }
    return PutByte(static_cast<unsigned char>(ch & 0xFF));
}

int CFileEx::WriteChar(char16_t ch) {
    ResolveWriteEncoding();
    if (ch != kLF) return PutUnit(ch) ? 1 : 0;
    if (writeLineEndMode_ == LineEnd::kAuto) {
        writeLineEndMode_ = readLineEndMode_ >= LineEnd::kCR && readLineEndMode_ <= LineEnd::kLFCR
                                ? readLineEndMode_
                                : LineEnd::kCRLF;
    }
    switch (writeLineEndMode_) {
        case LineEnd::kCR:
            return PutUnit(kCR) ? 1 : 0;
        case LineEnd::kCRLF:
            return PutUnit(kCR) && PutUnit(kLF) ? 2 : 0;
        case LineEnd::kLFCR:
            return PutUnit(kLF) && PutUnit(kCR) ? 2 : 0;
        default:
            return PutUnit(kLF) ? 1 : 0;
    }
}

int CFileEx::WriteString(std::u16string_view s) {
    ResolveWriteEncoding();
    int count = 0;
    while (!s.empty()) {
        if (s.front() == kLF) {
            count += WriteChar(kLF);
            s.remove_prefix(1);
            continue;
        }
        const std::size_t run = std::min(FindUnit(s, kLF), s.size());
        count += PutRun(s.substr(0, run));
        s.remove_prefix(run);
    }
    return count;
}

int CFileEx::PutRun(std::u16string_view run) {
    const std::size_t width = writeEncoding_ == FileEncoding::kUtf16 ? 2 : 1;
    int written = 0;
    while (!run.empty()) {
        if (use_ != BufferUse::kWriting || bufLen_ + width > kBufferSize) {
            // Switching from reading, or a full buffer: one character the ordinary way.
            if (PutUnit(run.front())) ++written;
            run.remove_prefix(1);
            continue;
        }
        const std::size_t n = std::min(run.size(), (kBufferSize - bufLen_) / width);
        unsigned char* out = buffer_.get() + bufLen_;
        if (width == 2 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
            std::memcpy(out, run.data(), n * 2);  // low byte first, as the units lie
        } else if (width == 2) {
            for (std::size_t i = 0; i < n; ++i) {
                out[2 * i] = static_cast<unsigned char>(run[i] & 0xFF);
                out[2 * i + 1] = static_cast<unsigned char>(run[i] >> 8);
            }
        } else {
            NarrowUnits(run.data(), n, out);
        }
        bufLen_ += n * width;
        written += static_cast<int>(n);
        run.remove_prefix(n);
    }
    return written;
}

int CFileEx::WriteByteOrderMark() {
    ResolveWriteEncoding();
    if (writeEncoding_ != FileEncoding::kUtf16) return 0;
    return PutUnit(u'\xFEFF') ? 1 : 0;
}

}  // namespace kestrom
