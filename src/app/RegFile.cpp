#include "app/RegFile.h"

#include <cstdio>

#include "base/NumberText.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCaseAscii(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A quoted name or text starting at `pos` (which holds the opening quote). Only \\ and \" are
// escapes; any other backslash stands for itself, so hand-written Windows paths survive.
std::optional<std::string> ReadQuoted(std::string_view s, size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') return std::nullopt;
    std::string out;
    for (size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// The name of a value line and the position just after its '='.
std::optional<std::string> ReadValueName(std::string_view line, size_t& afterEquals) {
    size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    auto name = ReadQuoted(line, pos);
    if (!name) return std::nullopt;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    afterEquals = pos + 1;
    return name;
}

std::optional<std::vector<uint8_t>> ReadHexBytes(std::string_view s) {
    std::vector<uint8_t> bytes;
    s = Trim(s);
    if (s.empty()) return bytes;
    while (true) {
        size_t comma = s.find(',');
        std::string_view token = Trim(s.substr(0, comma));
        if (token.empty() || token.size() > 2) return std::nullopt;
        int value = 0;
        for (char c : token) {
            int d = HexDigitValue(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + d;
        }
        bytes.push_back(static_cast<uint8_t>(value));
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    return bytes;
}

std::optional<uint32_t> ReadHexNumber(std::string_view s, size_t maxDigits) {
    s = Trim(s);
    if (s.empty() || s.size() > maxDigits) return std::nullopt;
    uint32_t value = 0;
    for (char c : s) {
        int d = HexDigitValue(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return value;
}

// The text a string value holds when its bytes can go in the quoted form and come back
// byte for byte: terminated, no other NUL, no line breaks, valid UTF-16.
std::optional<std::u16string> QuotableText(const CRegValue& value) {
    const auto& d = value.data;
    if (value.type != reg_type::kSz || d.size() < 2 || d.size() % 2 != 0) return std::nullopt;
    if (d[d.size() - 2] != 0 || d[d.size() - 1] != 0) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 2 < d.size(); i += 2) {
        char16_t c = static_cast<char16_t>(d[i] | (d[i + 1] << 8));
        if (c == 0 || c == u'\r' || c == u'\n') return std::nullopt;
        text += c;
    }
    if (FromUtf8(ToUtf8(text)) != text) return std::nullopt;
    return text;
}

// A continued hex line: every physical line but the last ends in '\'.
std::string JoinContinued(std::string_view raw) {
    std::string out;
    size_t start = 0;
    while (true) {
        size_t nl = raw.find('\n', start);
        std::string_view line = raw.substr(start, nl == std::string_view::npos ? nl : nl - start);
        if (start > 0) line = Trim(line);
        if (nl == std::string_view::npos) {
            out += line;
            break;
        }
        line = Trim(line);
        if (!line.empty() && line.back() == '\\') line.remove_suffix(1);
        out += line;
        start = nl + 1;
    }
    return out;
}

// Whether a physical line of a value continues on the next one.
bool ContinuesOnNextLine(std::string_view line) {
    size_t afterEquals = 0;
    if (!ReadValueName(line, afterEquals)) return false;
    std::string_view data = Trim(line.substr(afterEquals));
    return StartsWithNoCase(data, "hex") && !data.empty() && data.back() == '\\';
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(std::move(current));
    return lines;
}

std::string DecodeFileBytes(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE) {
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                          (static_cast<uint8_t>(bytes[i + 1]) << 8));
        }
        return ToUtf8(text);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
}

}  // namespace

CRegValue CRegValue::String(std::u16string_view text) {
    CRegValue v;
    v.type = reg_type::kSz;
    v.data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        v.data.push_back(static_cast<uint8_t>(c & 0xFF));
        v.data.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.data.push_back(0);
    v.data.push_back(0);
    return v;
}

std::string FormatRegValueLine(std::string_view name, const CRegValue& value) {
    std::string line;
    AppendQuoted(line, name);
    line += '=';
    if (auto text = QuotableText(value)) {
        AppendQuoted(line, ToUtf8(*text));
        return line;
    }
    char buf[32];
    if (value.type == reg_type::kDword && value.data.size() == 4) {
        uint32_t v = 0;
        for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(value.data[i]) << (8 * i);
        std::snprintf(buf, sizeof buf, "dword:%08x", v);
        return line + buf;
    }
    if (value.type == reg_type::kBinary) {
        line += "hex:";
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
        line += buf;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : ",%02x", value.data[i]);
        line += buf;
    }
    return line;
}

std::optional<std::pair<std::string, CRegValue>> ParseRegValueLine(std::string_view line) {
    size_t afterEquals = 0;
    auto name = ReadValueName(line, afterEquals);
    if (!name) return std::nullopt;
    std::string_view data = Trim(line.substr(afterEquals));
    CRegValue value;
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        auto text = ReadQuoted(data, pos);
        if (!text || !Trim(data.substr(pos)).empty()) return std::nullopt;
        value = CRegValue::String(FromUtf8(*text));
    } else if (StartsWithNoCase(data, "dword:")) {
        auto v = ReadHexNumber(data.substr(6), 8);
        if (!v) return std::nullopt;
        value.type = reg_type::kDword;
        value.data = {static_cast<uint8_t>(*v), static_cast<uint8_t>(*v >> 8),
                      static_cast<uint8_t>(*v >> 16), static_cast<uint8_t>(*v >> 24)};
    } else if (StartsWithNoCase(data, "hex:")) {
        auto bytes = ReadHexBytes(data.substr(4));
        if (!bytes) return std::nullopt;
        value.type = reg_type::kBinary;
        value.data = std::move(*bytes);
    } else if (StartsWithNoCase(data, "hex(")) {
        size_t close = data.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        auto type = ReadHexNumber(data.substr(4, close - 4), 8);
        auto bytes = ReadHexBytes(data.substr(close + 2));
        if (!type || !bytes) return std::nullopt;
        value.type = *type;
        value.data = std::move(*bytes);
    } else {
        return std::nullopt;
    }
    return std::make_pair(std::move(*name), std::move(value));
}

CRegFile CRegFile::Parse(std::string_view bytes) {
    CRegFile file;
    std::vector<std::string> lines = SplitLines(DecodeFileBytes(bytes));
    Section* section = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view trimmed = Trim(lines[i]);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            file.sections_.push_back(
                Section{lines[i], std::string(trimmed.substr(1, trimmed.size() - 2)), {}});
            section = &file.sections_.back();
            continue;
        }
        if (!section) {
            file.preamble_.push_back(lines[i]);
            continue;
        }
        Entry entry;
        entry.raw = lines[i];
        if (ContinuesOnNextLine(lines[i])) {
            while (i + 1 < lines.size()) {
                entry.raw += '\n';
                entry.raw += lines[++i];
                std::string_view next = Trim(lines[i]);
                if (next.empty() || next.back() != '\\') break;
            }
        }
        size_t afterEquals = 0;
        if (auto name = ReadValueName(entry.raw, afterEquals)) {
            entry.name = std::move(*name);
            entry.isValue = true;
        }
        section->entries.push_back(std::move(entry));
    }
    return file;
}

std::string CRegFile::Serialize() const {
    std::string out;
    for (const auto& line : preamble_) out += line + '\n';
    for (const auto& section : sections_) {
        out += section.header + '\n';
        for (const auto& entry : section.entries) out += entry.raw + '\n';
    }
    // Text that itself begins like a byte-order mark (bytes kept from a damaged file) would be
    // read back in another encoding, losing every line; a UTF-8 mark in front keeps it text.
    const std::string_view start(out);
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xEF\xBB\xBF"))
        out.insert(0, "\xEF\xBB\xBF");
    return out;
}

CRegFile::Section* CRegFile::FindSection(std::string_view keyPath) {
    for (auto& s : sections_) {
        if (EqualsNoCaseAscii(s.keyPath, keyPath)) return &s;
    }
    return nullptr;
}

const CRegFile::Section* CRegFile::FindSection(std::string_view keyPath) const {
    return const_cast<CRegFile*>(this)->FindSection(keyPath);
}

bool CRegFile::HasKey(std::string_view keyPath) const {
    return FindSection(keyPath) != nullptr;
}

void CRegFile::AddKey(std::string_view keyPath) {
    if (HasKey(keyPath)) return;
    if (preamble_.empty() && sections_.empty()) {
        preamble_ = {std::string(kRegFileHeader), ""};
    } else {
        // Keep a blank line between sections, as the export format does.
        auto& lastLines = preamble_;
        bool endsBlank = sections_.empty() ? (!lastLines.empty() && Trim(lastLines.back()).empty())
                                           : (!sections_.back().entries.empty() &&
                                              Trim(sections_.back().entries.back().raw).empty());
        if (!endsBlank) {
            if (sections_.empty()) {
                preamble_.emplace_back();
            } else {
                sections_.back().entries.push_back(Entry{});
            }
        }
    }
    sections_.push_back(Section{"[" + std::string(keyPath) + "]", std::string(keyPath), {}});
}

std::optional<CRegValue> CRegFile::Get(std::string_view keyPath, std::string_view name) const {
    const Section* section = FindSection(keyPath);
    if (!section) return std::nullopt;
    // The registry holds one value per name; when a file repeats one, the last line wins,
    // as it would on import.
    for (auto it = section->entries.rbegin(); it != section->entries.rend(); ++it) {
        if (!it->isValue || !EqualsNoCaseAscii(it->name, name)) continue;
        auto parsed = ParseRegValueLine(JoinContinued(it->raw));
        if (!parsed) return std::nullopt;
        return std::move(parsed->second);
    }
    return std::nullopt;
}

void CRegFile::Set(std::string_view keyPath, std::string_view name, const CRegValue& value) {
    Section* section = FindSection(keyPath);
    if (!section) return;
    Entry entry{FormatRegValueLine(name, value), std::string(name), true};
    auto& entries = section->entries;
    bool replaced = false;
    for (auto it = entries.begin(); it != entries.end();) {
        if (it->isValue && EqualsNoCaseAscii(it->name, name)) {
            if (!replaced) {
                *it = entry;
                replaced = true;
            } else {
                it = entries.erase(it);
                continue;
            }
        }
        ++it;
    }
    if (replaced) return;
    size_t insertAt = entries.size();
    while (insertAt > 0 && Trim(entries[insertAt - 1].raw).empty()) --insertAt;
    // A hex value whose last line still ends in '\' (the file ended there) would take the new
    // line in as its continuation on the next read; the new value goes before it instead.
    if (insertAt > 0) {
        std::string_view raw = entries[insertAt - 1].raw;
        const size_t nl = raw.rfind('\n');
        std::string_view lastLine = Trim(nl == std::string_view::npos ? raw : raw.substr(nl + 1));
        if (entries[insertAt - 1].isValue && !lastLine.empty() && lastLine.back() == '\\' &&
            (nl != std::string_view::npos || ContinuesOnNextLine(raw)))
            --insertAt;
    }
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
}

}  // namespace kestrom
