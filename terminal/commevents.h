#pragma once
// What the control's events say: the text of each event code, and whether it is a status
// for the message pane or a line error for a box.

namespace terminal {

struct CommEventText {
    short code;
    unsigned stringId;
    bool error; // a line error, told in a box that offers to close the port
};

// The text of `code`, or null for a code the program does not show.
const CommEventText* FindEventText(short code);

// The event that says data has arrived.
inline constexpr short kReceiveEvent = 2;

} // namespace terminal
