#include "session/statuspane.h"

namespace session {

void StatusPane::event(std::string text) {
    m_event = std::move(text);
}

void StatusPane::note(std::string text, std::int64_t nowMs) {
    m_note = std::move(text);
    m_noteUntil = nowMs + kNoteMs;
}

void StatusPane::hold(std::string text) {
    m_held = std::move(text);
}

void StatusPane::release() {
    m_held.reset();
}

std::string StatusPane::shown(std::int64_t nowMs) const {
    if (nowMs < m_noteUntil) return m_note;
    if (m_held) return *m_held;
    return m_event;
}

std::optional<std::int64_t> StatusPane::expiry(std::int64_t nowMs) const {
    if (nowMs < m_noteUntil) return m_noteUntil;
    return std::nullopt;
}

} // namespace session
