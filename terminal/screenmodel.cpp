#include "terminal/screenmodel.h"

#include "framework/codepage.h"

#include <algorithm>
#include <cctype>

namespace terminal {
namespace {

bool IsWordByte(unsigned char b) {
    return std::isalnum(b) || b == '_' || b >= 0xC0;
}

} // namespace

ScreenModel::ScreenModel() {
    m_text.setObserver(&m_stamps);
}

void ScreenModel::setSizeKB(std::size_t kb) {
    m_sizeKB = std::clamp(kb, kSmallestScreenKB, kLargestScreenKB);
}

std::size_t ScreenModel::caret() const {
    return m_caretAtStart ? m_text.selectionStart() : m_text.selectionEnd();
}

std::size_t ScreenModel::anchor() const {
    return m_caretAtStart ? m_text.selectionEnd() : m_text.selectionStart();
}

void ScreenModel::select(std::size_t anchor, std::size_t caret) {
    m_text.setSelection(anchor, caret);
    m_caretAtStart = caret < anchor;
}

void ScreenModel::setSelection(std::size_t start, std::size_t end) {
    m_text.setSelection(start, end);
    m_caretAtStart = false;
}

std::uint64_t ScreenModel::absolute(std::size_t position) const {
    return m_text.lines().origin() + position;
}

std::size_t ScreenModel::fromAbsolute(std::uint64_t position) const {
    const std::uint64_t origin = m_text.lines().origin();
    if (position < origin) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(position - origin, m_text.length()));
}

std::size_t ScreenModel::horizontalMove(std::size_t at, bool right, bool extend) const {
    if (!extend && hasSelection()) return right ? m_text.selectionEnd() : m_text.selectionStart();
    const std::string& s = m_text.text();
    at = std::min(at, s.size());
    if (right) {
        if (at + 1 < s.size() && s[at] == '\r' && s[at + 1] == '\n') return at + 2;
        return std::min(at + 1, s.size());
    }
    if (at >= 2 && s[at - 2] == '\r' && s[at - 1] == '\n') return at - 2;
    return at > 0 ? at - 1 : 0;
}

std::pair<std::size_t, std::size_t> ScreenModel::wordAt(std::size_t position) const {
    const std::string& s = m_text.text();
    if (position >= s.size()) return {s.size(), s.size()};
    const auto same = [&](std::size_t i, bool word) {
        const auto b = static_cast<unsigned char>(s[i]);
        return IsWordByte(b) == word && b != '\n' && b != '\r';
    };
    const bool word = IsWordByte(static_cast<unsigned char>(s[position]));
    std::size_t a = position, b = position;
    while (a > 0 && same(a - 1, word))
        --a;
    while (b < s.size() && same(b, word))
        ++b;
    return {a, std::max(b, a + 1)};
}

std::pair<std::size_t, std::size_t> ScreenModel::lineAt(std::size_t position) const {
    const LineIndex& lines = m_text.lines();
    const std::size_t line = lines.lineOf(std::min(position, m_text.length()));
    const std::size_t start = lines.start(line);
    std::size_t end = lines.end(line, m_text.length());
    const std::string& s = m_text.text();
    if (end > start && s[end - 1] == '\n') --end;
    if (end > start && s[end - 1] == '\r') --end;
    return {start, end};
}

QString ScreenModel::copyText() const {
    const std::string_view bytes = slice(m_text.selectionStart(), m_text.selectionEnd());
    std::string plain;
    plain.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            plain.push_back('\n');
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else if (bytes[i] != '\0') {
            plain.push_back(bytes[i]);
        }
    }
    return fw::FromAnsi(plain);
}

QString ScreenModel::Render(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r') continue;
        if (b < 0x20 && b != '\t' && b != '\n')
            out += QChar(static_cast<char16_t>(0x2400 + b));
        else if (b == 0x7F)
            out += QChar(char16_t{0x2421});
        else
            out += QChar(fw::AnsiToUnicode(b));
    }
    return out;
}

int ScreenModel::readerOffset(std::size_t position) const {
    const std::string_view s = slice(0, std::min(position, m_text.length()));
    return static_cast<int>(s.size() -
                            static_cast<std::size_t>(std::count(s.begin(), s.end(), '\r')));
}

std::size_t ScreenModel::modelPosition(int offset) const {
    const std::string& s = m_text.text();
    std::size_t at = 0;
    for (int seen = 0; at < s.size(); ++at) {
        if (s[at] == '\r') continue;
        if (seen++ == offset) break;
    }
    return at;
}

} // namespace terminal
