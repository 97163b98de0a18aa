#include "base/Path.h"

#include "base/TextConvert.h"

namespace kestrom {

std::size_t LastPathSeparator(std::u16string_view path) {
    return path.find_last_of(kPathSeparators);
}

std::string NativePath(std::u16string_view path) {
    std::string native = ToUtf8(path);
#ifdef _WIN32
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
#endif
    return native;
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string joined(folder);
    if (!joined.empty() && !IsPathSeparator(joined.back())) joined += u'/';
    joined += name;
    return joined;
}

std::u16string_view FileNamePart(std::u16string_view path) {
    std::size_t sep = LastPathSeparator(path);
    return sep == std::u16string_view::npos ? path : path.substr(sep + 1);
}

std::u16string_view FolderPart(std::u16string_view path) {
    std::size_t sep = LastPathSeparator(path);
    if (sep == std::u16string_view::npos) return {};
    return sep == 0 ? path.substr(0, 1) : path.substr(0, sep);
}

}  // namespace kestrom
