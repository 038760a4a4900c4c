#pragma once
// What the message pane says while a port is open, apart from the pane itself: the text of the
// port's last event ("Receiving"), unless a note holds the pane. A note (the session's own, a
// transfer's progress, a hint) holds it for kNoteMs after it was posted; a held note holds it
// until it is released (while a transfer runs). When nothing holds it, the last event's text
// comes back. Pure: the caller says what time it is.

#include <cstdint>
#include <optional>
#include <string>

namespace session {

class StatusPane {
public:
    static constexpr std::int64_t kNoteMs = 5000;

    // The port's event (say "Receiving"): shown unless a note holds the pane.
    void event(std::string text);
    // A note held for kNoteMs from `nowMs`; it replaces any note before it.
    void note(std::string text, std::int64_t nowMs);
    // A note held until release(); notes posted meanwhile show, and the held one after them.
    void hold(std::string text);
    // Ends a held note: the pane is free once no timed note holds it.
    void release();

    // The text the pane shows at `nowMs`; empty when there is nothing to say (the caller's
    // idle text then).
    std::string shown(std::int64_t nowMs) const;
    // When a timed note runs out, while one holds the pane at `nowMs`.
    std::optional<std::int64_t> expiry(std::int64_t nowMs) const;

private:
    std::string m_event;
    std::string m_note;
    std::int64_t m_noteUntil = 0;
    std::optional<std::string> m_held;
};

} // namespace session
