#include "security/AccessListStorage.h"

#include <string>

#include "base/AtomicFile.h"
#include "base/FileEx.h"
#include "security/AccessListFormat.h"

namespace kestrom {

std::u16string_view StorageOutcomeText(CStorageOutcome outcome) {
    switch (outcome) {
        case CStorageOutcome::CannotOpen:
            return kStorageCannotOpenText;
        case CStorageOutcome::CannotProcess:
            return kStorageCannotProcessText;
        case CStorageOutcome::Ok:
            break;
    }
    return {};
}

CStorageOutcome LoadAccessList(CAccessControlList& list) {
    CFileEx file(list.StoragePath());
    if (!file.Open(CFileEx::modeRead | CFileEx::modeCreate | CFileEx::modeNoTruncate |
                   CFileEx::shareDenyWrite | CFileEx::typeBinary))
        return CStorageOutcome::CannotOpen;
    std::string bytes(static_cast<size_t>(file.GetLength()), '\0');
    size_t got = bytes.empty() ? 0 : file.Read(bytes.data(), bytes.size());
    bool readFailed = file.ErrorCause() != 0;
    file.Close();
    // A short read is parsed like a file cut short, and the entries it gives are kept.
    bytes.resize(got);
    if (bytes.empty() && !readFailed) return CStorageOutcome::Ok;
    CAccessListParse parsed = ParseAccessList(bytes);
    list.ReplaceAll(parsed.items);
    if (parsed.countMalformed || readFailed) return CStorageOutcome::CannotProcess;
    return CStorageOutcome::Ok;
}

CStorageOutcome SaveAccessList(const CAccessControlList& list) {
    std::lock_guard saving(list.SaveMutex());
    CAtomicFileWriter writer(list.StoragePath());
    if (!writer.Create()) return CStorageOutcome::CannotOpen;
    std::string bytes = SerializeAccessList(list.Snapshot());
    if (!writer.File().Write(bytes.data(), bytes.size()) || !writer.Commit())
        return CStorageOutcome::CannotProcess;
    return CStorageOutcome::Ok;
}

}  // namespace kestrom
