#include "settings/registryformat.h"

#include <cstdio>
#include <cstring>

namespace settings {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
constexpr std::size_t kMaxKeyPath = 32767;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
constexpr std::size_t kLineWidth = 80; // hex lists wrap so that no line is longer

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool IsRoot(std::string_view path) {
    return path.find('\\') == std::string_view::npos;
}

bool IsBelow(std::string_view path, std::string_view parent) {
    return path.size() > parent.size() && path[parent.size()] == '\\' &&
           SameName(path.substr(0, parent.size()), parent);
}

} // namespace

// ---- names ------------------------------------------------------------------------------------

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IsText(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

bool IsValidKeyPath(std::string_view path) {
    if (path.empty() || path.size() > kMaxKeyPath || !IsText(path)) return false;
    std::size_t start = 0;
    for (bool root = true;; root = false) {
        std::size_t end = path.find('\\', start);
        std::string_view part = path.substr(start, end - start);
        if (part.empty() || part.size() > kMaxKeyName) return false;
        if (root) {
            bool known = false;
            for (std::string_view name : kRoots)
                known = known || SameName(part, name);
            if (!known) return false;
        }
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= kMaxValueName && IsText(name);
}

// ---- the document -----------------------------------------------------------------------------

RegSection* FindSection(RegDocument& doc, std::string_view path) {
    for (RegSection& key : doc.sections)
        if (SameName(key.path, path)) return &key;
    return nullptr;
}

bool KeyExists(const RegDocument& doc, std::string_view path) {
    if (IsRoot(path)) return true;
    for (const RegSection& key : doc.sections)
        if (SameName(key.path, path) || IsBelow(key.path, path)) return true;
    return false;
}

bool EnsureKey(RegDocument& doc, std::string_view path, bool withSection) {
    bool added = false;
    for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
        std::string_view prefix = path.substr(0, end);
        bool last = end == std::string_view::npos;
        if (!KeyExists(doc, prefix) || (last && withSection && !FindSection(doc, prefix))) {
            doc.sections.push_back(RegSection{std::string(prefix), {}});
            added = true;
        }
        if (last) return added;
    }
}

const RegValue* FindValue(const std::vector<RegValue>& values, std::string_view name) {
    for (const RegValue& value : values)
        if (SameName(value.name, name)) return &value;
    return nullptr;
}

bool PutValue(std::vector<RegValue>& values, const RegValue& value) {
    for (RegValue& old : values) {
        if (!SameName(old.name, value.name)) continue;
        if (old.type == value.type && old.data == value.data) return false;
        old.type = value.type;
        old.data = value.data;
        return true;
    }
    values.push_back(value);
    return true;
}

namespace {

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseNumber(std::string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 8) return false;
    out = 0;
    for (char c : s) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        out = out << 4 | std::uint32_t(digit);
    }
    return true;
}

// A double-quoted text with \\ and \" escapes at the start of `s`; `s` is left after it.
bool ParseQuoted(std::string_view& s, std::string& out) {
    if (s.empty() || s.front() != '"') return false;
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (++i == s.size() || (s[i] != '\\' && s[i] != '"')) return false;
            c = s[i];
        }
        out += c;
    }
    return false;
}

// Two-digit hex bytes separated by commas, possibly none.
bool ParseHexList(std::string_view s, std::string& out) {
    out.clear();
    if (Trim(s).empty()) return true;
    for (;;) {
        s = TrimLeft(s);
        int high = s.size() >= 2 ? HexDigit(s[0]) : -1;
        int low = s.size() >= 2 ? HexDigit(s[1]) : -1;
        if (high < 0 || low < 0 || out.size() == kMaxValueSize) return false;
        out += char(high << 4 | low);
        s = TrimLeft(s.substr(2));
        if (s.empty()) return true;
        if (s.front() != ',') return false;
        s.remove_prefix(1);
    }
}

bool ParseData(std::string_view s, RegValue& value) {
    if (s.starts_with('"')) {
        if (!ParseQuoted(s, value.data) || !Trim(s).empty()) return false;
        value.type = TypeString;
        value.data += '\0';
        return true;
    }
    if (s.starts_with("dword:")) {
        std::uint32_t n;
        if (!ParseNumber(Trim(s.substr(6)), n)) return false;
        value.type = TypeDword;
        value.data = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
        return true;
    }
    if (!s.starts_with("hex")) return false;
    s.remove_prefix(3);
    value.type = TypeBinary;
    if (s.starts_with('(')) {
        std::size_t close = s.find(')');
        if (close == std::string_view::npos || !ParseNumber(s.substr(1, close - 1), value.type))
            return false;
        s.remove_prefix(close + 1);
    }
    return s.starts_with(':') && ParseHexList(s.substr(1), value.data);
}

bool ParseValueLine(std::string_view s, RegValue& value) {
    if (s.starts_with('@')) {
        value.name.clear();
        s.remove_prefix(1);
    } else if (!ParseQuoted(s, value.name)) {
        return false;
    }
    s = TrimLeft(s);
    return s.starts_with('=') && ParseData(Trim(s.substr(1)), value);
}

// Lines without their end (LF or CR LF); nullopt when a control byte other than a tab shows.
std::optional<std::vector<std::string_view>> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        for (unsigned char c : line)
            if ((c < 0x20 && c != '\t') || c == 0x7f) return std::nullopt;
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

} // namespace

std::optional<RegDocument> ParseDocument(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    auto lines = SplitLines(text);
    if (!lines || lines->empty()) return std::nullopt;
    RegDocument doc;
    doc.header = Trim((*lines)[0]);
    if (doc.header != kHeader4 && doc.header != kHeader5) return std::nullopt;

    std::size_t current = std::string_view::npos; // index of the section being read
    for (std::size_t i = 1; i < lines->size(); ++i) {
        std::string_view line = Trim((*lines)[i]);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.size() < 2 || !line.ends_with(']')) return std::nullopt;
            std::string_view path = line.substr(1, line.size() - 2);
            if (!IsValidKeyPath(path)) return std::nullopt;
            if (!FindSection(doc, path)) doc.sections.push_back({std::string(path), {}});
            current = std::size_t(FindSection(doc, path) - doc.sections.data());
            continue;
        }
        std::string joined(line);
        while (joined.ends_with('\\')) { // a hex list goes on in the next line
            joined.pop_back();
            if (++i == lines->size()) return std::nullopt;
            joined += Trim((*lines)[i]);
        }
        RegValue value;
        if (current == std::string_view::npos || !ParseValueLine(joined, value))
            return std::nullopt;
        PutValue(doc.sections[current].values, value);
    }
    return doc;
}

namespace {

std::string Quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

// Type 1 is written as text when that reads back as the same bytes.
bool IsPlainString(const RegValue& value) {
    const std::string& d = value.data;
    return value.type == TypeString && !d.empty() && d.back() == '\0' &&
           IsText(std::string_view(d).substr(0, d.size() - 1));
}

void AppendValue(std::string& out, const RegValue& value) {
    static const char digits[] = "0123456789abcdef";
    std::string line = value.name.empty() ? "@=" : Quoted(value.name) + '=';
    char number[16];
    if (value.type == TypeDword && value.data.size() == 4) {
        std::uint32_t n;
        std::memcpy(&n, value.data.data(), 4); // stored little-endian, as this host is
        std::snprintf(number, sizeof number, "%08x", unsigned(n));
        out += line + "dword:" + number + '\n';
        return;
    }
    if (IsPlainString(value)) {
        out += line + Quoted(std::string_view(value.data).substr(0, value.data.size() - 1)) + '\n';
        return;
    }
    std::snprintf(number, sizeof number, "%x", unsigned(value.type));
    line += value.type == TypeBinary ? std::string("hex:") : "hex(" + std::string(number) + "):";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        unsigned char c = value.data[i];
        std::string item{digits[c >> 4], digits[c & 15]};
        if (i + 1 < value.data.size()) item += ',';
        if (line.size() + item.size() + 1 > kLineWidth && line != "  ") {
            out += line + "\\\n";
            line = "  ";
        }
        line += item;
    }
    out += line + '\n';
}

} // namespace

std::string SerializeDocument(const RegDocument& doc) {
    std::string out = doc.header + "\n\n";
    for (const RegSection& key : doc.sections) {
        out += '[' + key.path + "]\n";
        for (const RegValue& value : key.values)
            AppendValue(out, value);
        out += '\n';
    }
    return out;
}

} // namespace settings
