#include "security/AccessListStorage.h"

#include <string>

#include "base/AtomicFile.h"
#include "base/FileEx.h"
#include "security/AccessListFormat.h"

namespace kestrom {

namespace {

CStatus CannotOpen(const CStatus& cause) {
    return CStatus::Failure(cause.Cause(), std::u16string(kStorageCannotOpenText));
}
CStatus CannotProcess(int cause) {
    return CStatus::Failure(cause, std::u16string(kStorageCannotProcessText));
}

}  // namespace

CStatus LoadAccessList(CAccessControlList& list) {
    CFileEx file(list.StoragePath());
    if (const CStatus opened =
            file.Open(CFileEx::modeRead | CFileEx::modeCreate | CFileEx::modeNoTruncate |
                      CFileEx::shareDenyWrite | CFileEx::typeBinary);
        !opened)
        return CannotOpen(opened);
    std::string bytes(static_cast<size_t>(file.GetLength()), '\0');
    size_t got = bytes.empty() ? 0 : file.Read(bytes.data(), bytes.size());
    const CStatus read = file.Status();
    file.Close();
    // A short read is parsed like a file cut short, and the entries it gives are kept.
    bytes.resize(got);
    if (bytes.empty() && read) return {};
    CAccessListParse parsed = ParseAccessList(bytes);
    list.ReplaceAll(parsed.items);
    if (!read) return CannotProcess(read.Cause());
    if (parsed.countMalformed) return CannotProcess(file_cause::kInvalidFile);
    return {};
}

CStatus SaveAccessList(const CAccessControlList& list) {
    std::lock_guard saving(list.SaveMutex());
    CAtomicFileWriter writer(list.StoragePath());
    if (const CStatus created = writer.Create(); !created) return CannotOpen(created);
    std::string bytes = SerializeAccessList(list.Snapshot());
    if (!writer.File().Write(bytes.data(), bytes.size()))
        return CannotProcess(writer.File().Failure().Cause());
    if (const CStatus committed = writer.Commit(); !committed)
        return CannotProcess(committed.Cause());
    return {};
}

}  // namespace kestrom
