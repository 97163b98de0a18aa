#pragma once
// CFileEx: the file object through which every meet file is read and written. It reads and
// writes one UTF-16 character at a time and hides the two ways the meet's files differ: the
// encoding (8-bit or UTF-16, told by a byte-order mark) and the line ends (CR, LF, CR LF or
// LF CR, told by the first line end met). Readers get every line end as one LF; writers give LF
// and get the file's convention. Reads and writes go through one 64 KiB buffer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileCause.h"
#include "base/FileHandle.h"
#include "base/Status.h"

namespace kestrom {

// How a file's characters are stored; kAuto reads a byte-order mark to tell.
enum class FileEncoding { k8Bit, kUtf16, kAuto };
// Line-end conventions: see CFileEx::SetReadLineEndMode and WriteChar. kNone reads line-end
// characters as they are.
enum class LineEnd { kNone, kAuto, kCR, kLF, kCRLF, kLFCR };

class CFileEx {
  public:
    // Open flags. Access: one of modeRead, modeWrite, modeReadWrite.
    static constexpr unsigned modeRead = 0x0000;
    static constexpr unsigned modeWrite = 0x0001;
    static constexpr unsigned modeReadWrite = 0x0002;
    // Sharing: one of these (shareCompat counts as shareExclusive).
    static constexpr unsigned shareCompat = 0x0000;
    static constexpr unsigned shareExclusive = 0x0010;
    static constexpr unsigned shareDenyWrite = 0x0020;
    static constexpr unsigned shareDenyRead = 0x0030;
    static constexpr unsigned shareDenyNone = 0x0040;
    // modeCreate creates the file, emptying it if it exists, unless modeNoTruncate is given too.
    static constexpr unsigned modeCreate = 0x1000;
    static constexpr unsigned modeNoTruncate = 0x2000;
    // Accepted for clarity; every file is binary.
    static constexpr unsigned typeBinary = 0x8000;
    // Fails with file_cause::kAccessDenied when the file already exists (needs modeCreate).
    static constexpr unsigned modeCreateNew = 0x10000;

    CFileEx() = default;
    explicit CFileEx(std::u16string path) : path_(std::move(path)) {}
    ~CFileEx();  // closes, flushing what is buffered
    CFileEx(const CFileEx&) = delete;
    CFileEx& operator=(const CFileEx&) = delete;

    // --- Path ('/' and '\' both separate folders) ---
    void SetPath(std::u16string path) { path_ = std::move(path); }
    const std::u16string& GetPath() const { return path_; }
    // Keeps the folder part and appends name; unless hasOwnExtension, the old extension is
    // applied to the new name.
    void SetFileName(std::u16string_view name, bool hasOwnExtension);
    // The characters after the last dot, when that dot follows the last separator and at most
    // three characters follow it; otherwise empty.
    std::u16string GetExtension() const;
    // Removes the current extension (with its dot) and appends '.' and ext.
    void SetExtension(std::u16string_view ext);

    // --- Open and close ---
    // Opens GetPath() with the flags' access and sharing. A failure's cause is
    // kSharingViolation when another open's sharing forbids it.
    CStatus Open(unsigned flags);
    bool IsOpen() const { return file_.IsOpen(); }
    // Flushes and closes; returns false (and keeps the cause in Status) when the flush or
    // the close failed. Closing a closed file does nothing and returns true.
    bool Close();
    // Writes the buffer out to the system; false on a write error.
    bool Flush();
    // Flush and fsync: the data is on the disk when this returns true.
    bool Sync();
    // The first failed byte read, write, flush or sync since Open (success when none).
    CStatus Status() const { return error_ ? CStatus::Failure(error_) : CStatus(); }
    // For a call that has just returned false: its cause, or file_cause::kGeneric when the
    // call recorded none. Never a success.
    CStatus Failure() const { return CStatus::Failure(error_ ? error_ : file_cause::kGeneric); }

    // --- Modes ---
    void SetReadEncoding(FileEncoding encoding) { readEncoding_ = encoding; }
    void SetWriteEncoding(FileEncoding encoding) { writeEncoding_ = encoding; }
    // Also clears the read line-end character and the pending skip character.
    void SetReadLineEndMode(LineEnd mode);
    void SetWriteLineEndMode(LineEnd mode) { writeLineEndMode_ = mode; }
    FileEncoding GetReadEncoding() const { return readEncoding_; }
    FileEncoding GetWriteEncoding() const { return writeEncoding_; }
    LineEnd GetReadLineEndMode() const { return readLineEndMode_; }
    LineEnd GetWriteLineEndMode() const { return writeLineEndMode_; }
    // 1 after a FE FF mark was read (the file is then decoded high byte first), else 0.
    int GetByteOrder() const { return byteOrder_; }

    // --- Character reading ---
    // True when one more character can be read; reads it ahead and keeps it.
    bool NotAtEnd();
    // The next character, line ends as LF; nothing at the end of the file (or inside a
    // character cut short there).
    std::optional<char16_t> ReadChar();
    // Appends characters to out until one of terminators (returned) or the end of the file
    // (returns -1). Characters in skipped are dropped. A pass whose first character is in
    // commentStarts is a comment: it is cut from out and the next pass is read.
    int ReadToken(std::u16string& out, std::u16string_view terminators,
                  std::u16string_view commentStarts, std::u16string_view skipped);

    // --- Character writing ---
    // Writes ch in the file's encoding and line-end convention; returns the characters written
    // (1, or 2 for a two-character line end), 0 when the write failed.
    int WriteChar(char16_t ch);
    int WriteString(std::u16string_view s);
    // Writes U+FEFF when the (resolved) write encoding is UTF-16 and returns 1; else 0.
    int WriteByteOrderMark();

    // --- Bytes ---
    // Reads up to size bytes; returns the count (less than size only at the end or on error).
    std::size_t Read(void* data, std::size_t size);
    bool Write(const void* data, std::size_t size);
    // Length in bytes including what is still buffered; 0 when not open.
    std::uint64_t GetLength();
    bool SetLength(std::uint64_t length);
    // Moves to a byte position (drops a peeked character and a pending skip character).
    bool Seek(std::uint64_t position);
    bool SeekToBegin() { return Seek(0); }

  private:
    static constexpr std::size_t kBufferSize = 64 * 1024;
    enum class BufferUse { kNone, kReading, kWriting };

    bool FillBuffer();
    bool ReadByte(unsigned char& b);
    bool ReadBytes(unsigned char* b, std::size_t n);
    bool DecodeNext(char16_t& ch);
    // The next character after line-end handling; false at the end of the file.
    bool NextChar(char16_t& ch);
    bool PutByte(unsigned char b);
    bool PutUnit(char16_t ch);
    // Characters other than LF, written straight into the buffer; returns how many.
    int PutRun(std::u16string_view run);
    // After a character of ReadToken: appends the characters that follow it in the buffer and
    // need no line-end, terminator or skip handling, in one go.
    struct PlainBytes;
    void TakePlainRun(std::u16string& out, const PlainBytes& plain, std::u16string_view terminators,
                      std::u16string_view skipped);
    void ResolveWriteEncoding();
    bool EndReading();
    void Fail(int cause);

    std::u16string path_;
    CFileHandle file_;
    int error_ = 0;

    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t bufPos_ = 0;
    std::size_t bufLen_ = 0;
    BufferUse use_ = BufferUse::kNone;

    char16_t readLineEndChar_ = 0;
    char16_t pendingSkip_ = 0;
    char16_t peeked_ = 0;
    bool hasPeeked_ = false;
    // The second byte of a broken byte-order mark, delivered after the first.
    int heldByte_ = -1;
    bool readOnlyFile_ = false;  // a regular file opened for reading only
    bool drained_ = false;       // its last read came back short: it is at its end
    LineEnd readLineEndMode_ = LineEnd::kAuto;
    FileEncoding readEncoding_ = FileEncoding::kAuto;
    LineEnd writeLineEndMode_ = LineEnd::kAuto;
    FileEncoding writeEncoding_ = FileEncoding::kAuto;
    int byteOrder_ = 0;
};

}  // namespace kestrom
