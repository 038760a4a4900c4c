#include "terminal/vtengine.h"

#include <vterm.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace terminal {

namespace {

VtColor ColorOf(const VTermColor& c) {
    if (VTERM_COLOR_IS_DEFAULT_FG(&c) || VTERM_COLOR_IS_DEFAULT_BG(&c)) return {};
    if (VTERM_COLOR_IS_INDEXED(&c)) return VtColor::indexed(c.indexed.idx);
    return VtColor::rgb(c.rgb.red, c.rgb.green, c.rgb.blue);
}

VtRect RectOf(VTermRect r) { return {r.start_row, r.end_row, r.start_col, r.end_col}; }

void SetAttr(std::uint8_t& attrs, std::uint8_t bit, bool on) {
    attrs = static_cast<std::uint8_t>(on ? attrs | bit : attrs & ~bit);
}

VTermKey EngineKey(VtKey key) {
    if (key >= VtKey::F1 && key <= VtKey::F12)
        return static_cast<VTermKey>(VTERM_KEY_FUNCTION(1 + int(key) - int(VtKey::F1)));
    if (key >= VtKey::Kp0 && key <= VtKey::KpEqual)
        return static_cast<VTermKey>(VTERM_KEY_KP_0 + (int(key) - int(VtKey::Kp0)));
    static constexpr std::array kMain{VTERM_KEY_NONE, VTERM_KEY_UP,     VTERM_KEY_DOWN,
                                      VTERM_KEY_LEFT, VTERM_KEY_RIGHT,  VTERM_KEY_INS,
                                      VTERM_KEY_DEL,  VTERM_KEY_HOME,   VTERM_KEY_END,
                                      VTERM_KEY_PAGEUP, VTERM_KEY_PAGEDOWN};
    const auto i = static_cast<std::size_t>(key);
    return i < kMain.size() ? kMain[i] : VTERM_KEY_NONE;
}

} // namespace

// The engine's callbacks, each a line or two into the screen.
struct VtEngine::Callbacks {
    static VtEngine& self(void* user) { return *static_cast<VtEngine*>(user); }

    // Called for every character: written straight into the kept last glyph, no copies.
    static int putglyph(VTermGlyphInfo* info, VTermPos pos, void* user) {
        static_assert(VTERM_MAX_CHARS_PER_CELL <= std::tuple_size_v<decltype(VtEngine::m_lastGlyph)>);
        VtEngine& e = self(user);
        char32_t* chars = e.m_lastGlyph.data();
        int n = 0;
        while (n < VTERM_MAX_CHARS_PER_CELL && info->chars[n]) {
            // After some runs of invalid UTF-8 the engine hands over a code point it never
            // decoded (beyond Unicode, and different from run to run).
            const char32_t c = info->chars[n];
            chars[n] = c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? U'\uFFFD' : c;
            ++n;
        }
        if (n == 0) chars[n++] = U' ';
        e.m_lastCount = n;
        e.m_lastWidth = info->width;
        e.m_screen.putGlyph(pos.row, pos.col, chars, n, info->width);
        return 1;
    }
    static int movecursor(VTermPos pos, VTermPos, int visible, void* user) {
        self(user).m_screen.setCursor(pos.row, pos.col);
        return 1;
    }
    static int scrollrect(VTermRect rect, int down, int right, void* user) {
        self(user).m_screen.scroll(RectOf(rect), down, right);
        return 1;
    }
    static int moverect(VTermRect dest, VTermRect src, void* user) {
        self(user).m_screen.moveRect(RectOf(dest), RectOf(src));
        return 1;
    }
    static int erase(VTermRect rect, int, void* user) {
        self(user).m_screen.erase(RectOf(rect));
        return 1;
    }
    static int initpen(void* user) {
        self(user).m_screen.pen = VtPen{};
        return 1;
    }
    static int setpenattr(VTermAttr attr, VTermValue* val, void* user) {
        VtPen& pen = self(user).m_screen.pen;
        switch (attr) {
        case VTERM_ATTR_BOLD: SetAttr(pen.attrs, kAttrBold, val->boolean); break;
        case VTERM_ATTR_UNDERLINE: SetAttr(pen.attrs, kAttrUnderline, val->number != 0); break;
        case VTERM_ATTR_ITALIC: SetAttr(pen.attrs, kAttrItalic, val->boolean); break;
        case VTERM_ATTR_BLINK: SetAttr(pen.attrs, kAttrBlink, val->boolean); break;
        case VTERM_ATTR_REVERSE: SetAttr(pen.attrs, kAttrReverse, val->boolean); break;
        case VTERM_ATTR_STRIKE: SetAttr(pen.attrs, kAttrStrike, val->boolean); break;
        case VTERM_ATTR_FOREGROUND: pen.fg = ColorOf(val->color); break;
        case VTERM_ATTR_BACKGROUND: pen.bg = ColorOf(val->color); break;
        default: break;
        }
        return 1;
    }
    static int settermprop(VTermProp prop, VTermValue* val, void* user) {
        VtEngine& e = self(user);
        switch (prop) {
        case VTERM_PROP_CURSORVISIBLE: e.m_screen.setCursorVisible(val->boolean); break;
        case VTERM_PROP_ALTSCREEN: e.m_screen.setAltScreen(val->boolean); break;
        case VTERM_PROP_REVERSE: e.m_screen.setReverse(val->boolean); break;
        case VTERM_PROP_MOUSE: e.m_mouseMode = val->number; break;
        default: break;
        }
        return 1;
    }
    static int bell(void* user) {
        ++self(user).m_bells;
        return 1;
    }
    static int resize(int rows, int cols, VTermPos* delta, void* user) {
        VtEngine& e = self(user);
        VTermPos cursor;
        vterm_state_get_cursorpos(e.m_state, &cursor);
        delta->row += e.m_screen.resize(rows, cols, cursor.row);
        return 1;
    }
    static int setlineinfo(int, const VTermLineInfo*, const VTermLineInfo*, void*) { return 1; }
    static void output(const char* s, std::size_t len, void* user) {
        VtEngine& e = self(user);
        if (e.m_sink) e.m_sink(std::string_view(s, len));
    }
    static const VTermStateCallbacks* table() {
        static const VTermStateCallbacks callbacks{putglyph, movecursor, scrollrect, moverect,
                                                   erase,    initpen,    setpenattr, settermprop,
                                                   bell,     resize,     setlineinfo};
        return &callbacks;
    }
};


VtEngine::VtEngine(VtScreen& screen) : m_screen(screen) {
    m_vt = vterm_new(screen.grid().rows(), screen.grid().cols());
    if (!m_vt) throw std::bad_alloc();
    vterm_set_utf8(m_vt, 1);
    vterm_output_set_callback(m_vt, &Callbacks::output, this);
    m_state = vterm_obtain_state(m_vt);
    vterm_state_set_callbacks(m_state, Callbacks::table(), this);
    vterm_state_reset(m_state, 1);
}

VtEngine::~VtEngine() { vterm_free(m_vt); }

void VtEngine::write(std::string_view bytes) {
    vterm_input_write(m_vt, bytes.data(), bytes.size());
    // The engine can leave its cursor off the grid, where the next character would be written
    // past its tables: a saved cursor is restored (ESC 8) as it was before the grid shrank, and
    // a double-width line in one column has no cell at all. A restore inside a CSI is pulled
    // back, but the screen is not told. Every sequence comes here on its own, so the cursor is
    // back on the grid before anything else.
    VTermPos pos;
    vterm_state_get_cursorpos(m_state, &pos);
    int rows = 0, cols = 0;
    vterm_get_size(m_vt, &rows, &cols);
    if (pos.row < 0 || pos.row >= rows || pos.col < 0 || pos.col >= cols) {
        // A relative move, which the origin mode leaves alone; the engine ends every CSI by
        // putting the cursor on the grid, so a move along the rows brings the column back too.
        const auto move = [](int n, char dir) { return "\x1b[" + std::to_string(n) + dir; };
        const std::string back = pos.row >= rows ? move(pos.row - rows + 1, 'A')
                                 : pos.row < 0   ? move(-pos.row, 'B')
                                 : pos.col >= cols ? move(pos.col - cols + 1, 'D')
                                                   : move(-pos.col, 'C');
        vterm_input_write(m_vt, back.data(), back.size());
        vterm_state_get_cursorpos(m_state, &pos);
        if (pos.col < 0) {
            // A double-width line in a grid of one column has no whole cell: the engine's
            // column stays at -1 whatever the move. The line goes back to single width.
            vterm_input_write(m_vt, "\x1b#5\x1b[C", 6);
            vterm_state_get_cursorpos(m_state, &pos);
        }
    }
    if (pos.row != m_screen.cursorRow() || pos.col != m_screen.cursorCol())
        m_screen.setCursor(pos.row, pos.col);
}

void VtEngine::writeText(std::string_view text) {
    // A flood is mostly printable ASCII, and the engine's reader and its call for every
    // character cost more than the rest of the way together. While the engine would print such
    // a run as it is, all of it but the last character goes into the grid directly and the
    // engine's cursor is moved past it; the last one goes to the engine, so that what depends
    // on the character printed last (combining marks, the repeat sequence, wrapping at the
    // row's end) still sees it.
    constexpr std::size_t kShortest = 4; // shorter runs gain nothing
    std::size_t from = 0; // what is not written yet starts here
    for (std::size_t i = 0; m_direct && i < text.size();) {
        if (!IsPrintableAscii(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && IsPrintableAscii(text[end])) ++end;
        while (end - i > kShortest) {
            // (The gate reads again what it read before a break: the same bytes leave it the same.)
            m_gate.text(text.substr(from, i - from));
            if (!m_gate.open() || m_gate.engineFirst()) break;
            if (from < i) write(text.substr(from, i - from));
            from = i;
            VTermPos pos;
            vterm_state_get_cursorpos(m_state, &pos);
            int rows = 0, cols = 0;
            vterm_get_size(m_vt, &rows, &cols);
            const VTermLineInfo* line = vterm_state_get_lineinfo(m_state, pos.row);
            if ((line && (line->doublewidth || line->doubleheight)) || cols != m_screen.grid().cols())
                break;
            // The cells short of the last column; the engine wraps (or not) at the row's end.
            const auto room = static_cast<std::size_t>(std::max(cols - 1 - pos.col, 0));
            if (room < kShortest) {
                const std::size_t n = std::min(end - i, room + 2);
                writeThroughEngine(text.substr(i, n));
                from = i += n;
                continue;
            }
            const std::size_t n = std::min(end - i - 1, room);
            m_screen.putAscii(pos.row, pos.col, text.data() + i, static_cast<int>(n));
            char move[16];
            const int len = std::snprintf(move, sizeof move, "\x1b[%zuC", n);
            write(std::string_view(move, static_cast<std::size_t>(len)));
            from = i += n;
        }
        i = end;
    }
    if (from < text.size()) writeThroughEngine(text.substr(from));
}

void VtEngine::writeThroughEngine(std::string_view text) {
    m_gate.text(text);
    write(text);
}

void VtEngine::feed(std::string_view bytes) {
    const auto pass = [this](std::string_view b) {
        if (!b.empty() && b[0] == '\x1b') {
            m_gate.sequence(b);
            write(b);
        } else {
            writeText(b);
        }
    };
    // The repeat sequence, done here: the last character again, up to the row's end.
    const auto repeat = [this, &pass](int count) {
        if (m_lastWidth <= 0 || m_lastCount == 0) return;
        VTermPos pos;
        vterm_state_get_cursorpos(m_state, &pos);
        int rows = 0, cols = 0;
        vterm_get_size(m_vt, &rows, &cols);
        count = std::min(count, std::max(1, (cols - pos.col) / m_lastWidth));
        std::string glyph;
        for (int i = 0; i < m_lastCount; ++i) AppendUtf8(glyph, m_lastGlyph[static_cast<std::size_t>(i)]);
        std::string text;
        for (int i = 0; i < count; ++i) text += glyph;
        pass(text);
    };
    m_repeat.feed(bytes, pass, repeat);
}

void VtEngine::resize(int rows, int cols) {
    rows = std::max(rows, 1);
    cols = std::max(cols, 1);
    int oldRows = 0, oldCols = 0;
    vterm_get_size(m_vt, &oldRows, &oldCols);
    if (rows < oldRows || cols < oldCols) {
        // The engine keeps a top (or left) margin that lies beyond a smaller grid and then
        // writes outside its own line table: the margins go back to the whole screen first,
        // and the cursor back where it was.
        VTermPos pos;
        vterm_state_get_cursorpos(m_state, &pos);
        // CAN first: whatever sequence the engine is inside ends there, unfinished.
        const std::string reset = "\x18\x1b[?69h\x1b[s\x1b[?69l\x1b[r\x1b[" + std::to_string(pos.row + 1) +
                                  ";" + std::to_string(pos.col + 1) + "H";
        vterm_input_write(m_vt, reset.data(), reset.size());
        m_gate.marginsOff();
    }
    vterm_set_size(m_vt, rows, cols);
}

void VtEngine::send(std::string_view bytes) {
    if (m_sink && !bytes.empty()) m_sink(bytes);
}

void VtEngine::key(VtKey key, std::uint8_t mods) {
    const VTermKey k = EngineKey(key);
    if (k != VTERM_KEY_NONE) vterm_keyboard_key(m_vt, k, static_cast<VTermModifier>(mods));
}

void VtEngine::startPaste() { vterm_keyboard_start_paste(m_vt); }
void VtEngine::endPaste() { vterm_keyboard_end_paste(m_vt); }

void VtEngine::mouseMove(int row, int col, std::uint8_t mods) {
    vterm_mouse_move(m_vt, row, col, static_cast<VTermModifier>(mods));
}

void VtEngine::mouseButton(int button, bool pressed, std::uint8_t mods) {
    vterm_mouse_button(m_vt, button, pressed, static_cast<VTermModifier>(mods));
}

void VtEngine::reset() {
    m_screen.setAltScreen(false);
    // The engine's reader is not reset with its state: a sequence it was inside would go on
    // with what comes next. CAN ends it unfinished, and the guard forgets what it held.
    vterm_input_write(m_vt, "\x18", 1);
    m_repeat = SequenceGuard{};
    vterm_state_reset(m_state, 1);
    m_gate.reset();
    m_screen.pen = VtPen{};
    m_screen.setReverse(false);
    m_mouseMode = 0;
}

void VtEngine::clear() {
    m_screen.clear();
    feed("\x1b[H");
}

} // namespace terminal
