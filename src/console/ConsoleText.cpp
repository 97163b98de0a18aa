#include "console/ConsoleText.h"

#include <algorithm>
#include <cstdio>

#include "base/LocalTime.h"
#include "core/LogLine.h"

namespace kestrom {

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || c == '<' || c == '>' || c == '&') {
            // Escaped also where a page embeds the JSON in a script.
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string TimeText(std::time_t t) {
    if (t == 0) return {};
    const auto local = ToLocalDateTime(t);
    if (!local) return {};
    std::string line = FormatLogLine(*local, u"");
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

bool PlainFileName(std::string_view name) {
    if (name.empty() || name.size() > 128 || name.front() == '.') return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-' || c == '_' || c == '.' || c == ' ';
    });
}

bool SameSecret(std::string_view a, std::string_view b) {
    unsigned diff = a.size() == b.size() ? 0 : 1;
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned>(x ^ y);
    }
    return diff == 0 && !a.empty();
}

}  // namespace kestrom
