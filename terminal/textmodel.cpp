#include "terminal/textmodel.h"

#include <algorithm>

namespace terminal {

void TextModel::changedFrom(std::size_t position) {
    m_stablePrefix = std::min(m_stablePrefix, position);
    m_tailChanged = true;
}

void TextModel::setText(std::string_view text) {
    m_text.assign(text);
    if (m_observer) m_observer->textReset(m_text.view());
    m_lines.reset(m_text.view());
    m_selStart = m_selEnd = 0;
    m_reset = true;
    m_removedFront = 0;
    m_stablePrefix = 0;
}

void TextModel::trimFront(std::size_t n) {
    n = std::min(n, m_text.size());
    m_text.eraseFront(n);
    if (m_observer) m_observer->frontTrimmed(n);
    m_lines.trimFront(n);
    m_selStart = m_selEnd = 0;
    if (m_reset) return;
    if (n <= m_stablePrefix) {
        m_removedFront += n;
        m_stablePrefix -= n;
    } else {
        // The cut reaches into text the widget does not have yet: start it afresh.
        m_reset = true;
        m_removedFront = 0;
        m_stablePrefix = 0;
    }
}

void TextModel::setSelection(std::size_t start, std::size_t end) {
    start = std::min(start, m_text.size());
    end = std::min(end, m_text.size());
    if (start > end) std::swap(start, end);
    m_selStart = start;
    m_selEnd = end;
}

void TextModel::replaceSelection(std::string_view text) {
    if (m_selEnd == m_selStart && text.empty()) return;
    if (m_observer) m_observer->textReplaced(m_selStart, m_selEnd - m_selStart, text);
    m_text.replace(m_selStart, m_selEnd - m_selStart, text);
    m_lines.replaceFrom(m_selStart, m_text.view());
    changedFrom(m_selStart);
    m_selStart += text.size();
    m_selEnd = m_selStart;
}

void TextModel::typeChar(unsigned char c) {
    switch (c) {
    case '\b':
        if (m_selStart == m_selEnd && m_selStart > 0) {
            const bool lineBreak =
                m_selStart >= 2 && m_text[m_selStart - 2] == '\r' && m_text[m_selStart - 1] == '\n';
            m_selStart = lineBreak ? m_selStart - 2 : PreviousCharStart(m_text.view(), m_selStart, m_set);
        }
        replaceSelection({});
        return;
    case '\r':
    case '\n':
        replaceSelection("\r\n");
        return;
    case '\t':
        replaceSelection("\t");
        return;
    default:
        if (c < 0x20 || c == 0x7F) return;
        const char byte = static_cast<char>(c);
        replaceSelection(std::string_view(&byte, 1));
    }
}

void TextModel::deleteForward() {
    if (m_selStart == m_selEnd && m_selEnd < m_text.size()) {
        const bool lineBreak = m_selEnd + 1 < m_text.size() && m_text[m_selEnd] == '\r' &&
                               m_text[m_selEnd + 1] == '\n';
        m_selEnd = lineBreak ? m_selEnd + 2 : NextCharStart(m_text.view(), m_selEnd, m_set);
    }
    replaceSelection({});
}

void TextModel::markSynced() {
    m_reset = false;
    m_removedFront = 0;
    m_stablePrefix = m_text.size();
    m_tailChanged = false;
}

} // namespace terminal
