#include "meetdata/EventFile.h"

#include "fileio/FileCause.h"
#include "fileio/FileEx.h"
#include "protocol/Messages.h"

namespace kestrom {

bool ReadEventFileText(const std::u16string& path, bool headersOnly, std::u16string& text,
                       std::u16string& errorLine) {
    return ReadEventFileLines(
        path, headersOnly,
        [&text](std::u16string_view line) {
            text += line;
            text += u"\r\n";
        },
        errorLine);
}

bool ReadEventFileLines(const std::u16string& path, bool headersOnly,
                        const std::function<void(std::u16string_view)>& sink,
                        std::u16string& errorLine) {
    CFileEx file(path);
    int cause = 0;
    // Full sharing: the start-list update may copy the file while it is read.
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary, &cause)) {
        errorLine = std::u16string(kMsgErrorOpeningEventFile.text);
        errorLine += u"  CAUSE: ";
        errorLine += FileCauseText(cause);
        return false;
    }
    file.SetReadEncoding(CFileEx::kEncodingAuto);
    // Comments and empty lines never reach the text; in headers-only mode neither do
    // competitor lines, whose first character is a blank, a tab or a comma.
    const std::u16string_view terminators = u"\n\x1a";
    const std::u16string_view commentStarts = headersOnly ? u";\n \t," : u";\n";
    std::u16string line;
    while (file.NotAtEnd()) {
        line.clear();
        file.ReadToken(line, terminators, commentStarts, {});
        if (line.empty()) continue;
        sink(line);
    }
    file.Close();
    return true;
}

}  // namespace kestrom
