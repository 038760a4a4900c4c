#pragma once
// The one door to the terminal-emulation engine: it parses what the device sends (always as
// UTF-8, so bytes 0x80-0x9F are never taken as controls) and writes the result into a
// VtScreen; it encodes the keys whose sequences follow the device's modes, and answers the
// device's queries (cursor position, attributes, status). Everything it sends - keys and
// answers alike - leaves through the one output sink, in order.
//
// Without a sink, output is dropped. Feeding any bytes is safe, however broken.

#include "terminal/vtdirectprint.h"
#include "terminal/vtkeys.h"
#include "terminal/vtguard.h"
#include "terminal/vtscreen.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>

struct VTerm;
struct VTermState;

namespace terminal {

class VtEngine {
public:
    using Sink = std::function<void(std::string_view)>;

    // The screen is the engine's to write; it must outlive the engine.
    explicit VtEngine(VtScreen& screen);
    ~VtEngine();
    VtEngine(const VtEngine&) = delete;
    VtEngine& operator=(const VtEngine&) = delete;

    void setOutputSink(Sink sink) { m_sink = std::move(sink); }
    // Bytes from the device (or typed bytes echoed locally).
    void feed(std::string_view bytes);
    // The grid's new size; the screen follows.
    void resize(int rows, int cols);

    // Sends bytes as they are (typed text, control characters).
    void send(std::string_view bytes);
    // Sends a key the engine encodes, as the cursor-key and keypad modes say.
    void key(VtKey key, std::uint8_t mods);
    // Brackets a paste when the device asked for bracketed paste; nothing otherwise.
    void startPaste();
    void endPaste();

    // Mouse reporting: the mode the device asked for (0: none), and the events to report
    // (row, column in cells; button 1-3, 4/5 for the wheel).
    int mouseMode() const { return m_mouseMode; }
    void mouseMove(int row, int col, std::uint8_t mods);
    void mouseButton(int button, bool pressed, std::uint8_t mods);

    // Back to the normal screen, default colours, modes and tabs; the scrollback is kept.
    void reset();
    // Blank screen and no scrollback, the cursor home.
    void clear();

    // Runs of printable ASCII go straight into the grid while the engine would print them as
    // they are (on unless switched off, which tests do to compare).
    void setDirectPrint(bool on) { m_direct = on; }

    std::uint64_t bells() const { return m_bells; }
    VtScreen& screen() { return m_screen; }

private:
    struct Callbacks;
    friend struct Callbacks;
    void write(std::string_view bytes);
    void writeText(std::string_view text);
    void writeThroughEngine(std::string_view text);

    VtScreen& m_screen;
    VTerm* m_vt = nullptr;
    VTermState* m_state = nullptr;
    Sink m_sink;
    int m_mouseMode = 0;
    SequenceGuard m_repeat;
    DirectPrintGate m_gate;
    bool m_direct = true;
    // The last character written (with its combining marks), for the repeat sequence.
    std::array<char32_t, 8> m_lastGlyph{};
    int m_lastCount = 0, m_lastWidth = 0;
    std::uint64_t m_bells = 0;
};

} // namespace terminal
