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

#ifdef _WIN32
std::wstring WidePath(std::u16string_view path) {
    std::wstring wide(path.begin(), path.end());
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}
#endif

std::filesystem::path FsPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string joined(folder);
#ifdef _WIN32
    constexpr char16_t kSeparator = u'\\';  // Windows names paths with backslashes
#else
    constexpr char16_t kSeparator = u'/';
#endif
    if (!joined.empty() && !IsPathSeparator(joined.back())) joined += kSeparator;
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
