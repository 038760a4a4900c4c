#include "terminal/screenmodel.h"

#include "framework/codepage.h"

#include <algorithm>
#include <cctype>

namespace terminal {

namespace {

// More than the text view makes of one slice of a read, hexadecimal included.
constexpr std::size_t kChunkRoom = 64 * 1024;

bool IsWordByte(unsigned char b) {
    return std::isalnum(b) || b == '_' || b >= 0xC0;
}

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kNothing = 0xFFFFFFFF; // a CR: readers do not see it

// One character as readers get it, and the bytes it takes.
struct ReaderChar {
    char32_t code;
    std::size_t length;
};

ReaderChar ReadAt(std::string_view bytes, std::size_t at, CharacterSet set) {
    const auto b = static_cast<unsigned char>(bytes[at]);
    if (b == '\r') return {kNothing, 1};
    if (b < 0x20 && b != '\t' && b != '\n') return {char32_t(0x2400 + b), 1};
    if (b == 0x7F) return {0x2421, 1};
    if (set == CharacterSet::Western) return {fw::AnsiToUnicode(b), 1};
    const Utf8Char c = DecodeUtf8At(bytes, at);
    return {c.valid ? c.code : kReplacement, c.length};
}

int Units(char32_t code) {
    return code == kNothing ? 0 : code > 0xFFFF ? 2 : 1;
}

void AppendCode(QString& out, char32_t code) {
    if (code > 0xFFFF) {
        out += QChar(QChar::highSurrogate(code));
        out += QChar(QChar::lowSurrogate(code));
    } else {
        out += QChar(static_cast<char16_t>(code));
    }
}

} // namespace

ScreenModel::ScreenModel() {
    m_text.setObserver(&m_marks);
}

void ScreenModel::setSizeKB(std::size_t kb) {
    m_sizeKB = std::clamp(kb, kSmallestScreenKB, kLargestScreenKB);
    // Room for a full screen and the chunk that passes it, so that a large screen's text is
    // never moved to grow.
    m_text.reserve(m_sizeKB * 1024 + kChunkRoom);
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
    const std::string_view s = m_text.text();
    at = std::min(at, s.size());
    if (right) {
        if (at + 1 < s.size() && s[at] == '\r' && s[at + 1] == '\n') return at + 2;
        return NextCharStart(s, at, characterSet());
    }
    if (at >= 2 && s[at - 2] == '\r' && s[at - 1] == '\n') return at - 2;
    return PreviousCharStart(s, at, characterSet());
}

std::pair<std::size_t, std::size_t> ScreenModel::wordAt(std::size_t position) const {
    const std::string_view s = m_text.text();
    if (position >= s.size()) return {s.size(), s.size()};
    // In UTF-8 every byte of a character beyond ASCII counts as a word's: letters of any script.
    const bool utf8 = characterSet() == CharacterSet::Utf8;
    const auto isWord = [&](std::size_t i) {
        const auto b = static_cast<unsigned char>(s[i]);
        return IsWordByte(b) || (utf8 && b >= 0x80);
    };
    const auto same = [&](std::size_t i, bool word) {
        return isWord(i) == word && s[i] != '\n' && s[i] != '\r';
    };
    const bool word = isWord(position);
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
    const std::string_view s = m_text.text();
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
    if (characterSet() == CharacterSet::Western) return fw::FromAnsi(plain);
    QString out;
    out.reserve(static_cast<qsizetype>(plain.size()));
    for (std::size_t at = 0; at < plain.size();) {
        const Utf8Char c = DecodeUtf8At(plain, at);
        AppendCode(out, c.valid ? c.code : kReplacement);
        at += c.length;
    }
    return out;
}

QString ScreenModel::Render(std::string_view bytes, CharacterSet set) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t at = 0; at < bytes.size();) {
        const ReaderChar c = ReadAt(bytes, at, set);
        if (c.code != kNothing) AppendCode(out, c.code);
        at += c.length;
    }
    return out;
}

int ScreenModel::readerOffset(std::size_t position) const {
    const std::string_view s = slice(0, std::min(position, m_text.length()));
    int units = 0;
    for (std::size_t at = 0; at < s.size();) {
        const ReaderChar c = ReadAt(s, at, characterSet());
        units += Units(c.code);
        at += c.length;
    }
    return units;
}

std::size_t ScreenModel::modelPosition(int offset) const {
    const std::string_view s = m_text.text();
    std::size_t at = 0;
    for (int seen = 0; at < s.size();) {
        const ReaderChar c = ReadAt(s, at, characterSet());
        if (c.code != kNothing && seen >= offset) break;
        seen += Units(c.code);
        at += c.length;
    }
    return at;
}

} // namespace terminal
