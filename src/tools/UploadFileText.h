#pragma once
// The text of a file a client command uploads, read as the server reads meet files (8-bit,
// or UTF-16 after a byte-order mark) with its line ends left exactly as they are.
#include <optional>
#include <ostream>
#include <string>

#include "base/FileEx.h"
#include "base/TextConvert.h"

namespace kestrom::client {

inline std::optional<std::u16string> ReadUploadFileText(const std::u16string& path,
                                                        std::ostream& err) {
    CFileEx file(path);
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary)) {
        err << "kestrom-client: cannot open " << ToUtf8(path) << "\n";
        return std::nullopt;
    }
    file.SetReadEncoding(FileEncoding::kAuto);
    file.SetReadLineEndMode(LineEnd::kNone);
    std::u16string text;
    while (const auto ch = file.ReadChar()) text.push_back(*ch);
    return text;
}

}  // namespace kestrom::client
