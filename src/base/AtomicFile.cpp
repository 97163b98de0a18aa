#include "base/AtomicFile.h"

#include <unistd.h>

#include <random>

#include "base/AtomicFileNames.h"
#include "base/Path.h"

namespace kestrom {

namespace {

constexpr int kSuffixDigits = 12;
constexpr std::string_view kTempExtension = ".tmp";

std::u16string RandomSuffix() {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::random_device device;
    std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                         static_cast<std::uint64_t>(::getpid());
    std::u16string s;
    for (int i = 0; i < kSuffixDigits; ++i, bits >>= 4) s += kDigits[bits & 0xF];
    return s;
}

}  // namespace

// ".name.<12 hex digits>.tmp" beside the target: hidden, and never a meet file's name.
std::u16string TempNameFor(std::u16string_view target) {
    const std::u16string_view folder = FolderPart(target);
    std::u16string name = u"." + std::u16string(FileNamePart(target)) + u"." + RandomSuffix() +
                          std::u16string(kTempExtension.begin(), kTempExtension.end());
    return folder.empty() ? name : JoinPath(folder, name);
}

bool IsTempName(std::string_view name) {
    constexpr std::size_t kTail = 1 + kSuffixDigits + 4;  // ".<digits>.tmp"
    if (name.size() < 2 + kTail || name.front() != '.' || !name.ends_with(kTempExtension))
        return false;
    const std::size_t dot = name.size() - kTail;
    if (name[dot] != '.') return false;
    for (std::size_t i = dot + 1; i < dot + 1 + kSuffixDigits; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

CAtomicFileWriter::CAtomicFileWriter(std::u16string targetPath) : target_(std::move(targetPath)) {}

CAtomicFileWriter::~CAtomicFileWriter() {
    Discard();
}

CStatus CAtomicFileWriter::Fail(int cause) {
    Discard();
    return CStatus::Failure(cause);
}

void CAtomicFileWriter::MarkCommitted() {
    tempPath_.clear();
    created_ = false;
    committed_ = true;
    Discard();
}

CStatus WriteFileAtomically(std::u16string_view path, std::string_view bytes) {
    CAtomicFileWriter writer{std::u16string(path)};
    if (CStatus created = writer.Create(); !created) return created;
    if (!writer.File().Write(bytes.data(), bytes.size())) return writer.File().Failure();
    return writer.Commit();
}

}  // namespace kestrom
