#pragma once
// The terminal view: what the device sends goes through the emulator onto a grid of cells,
// painted at most once per display frame and only where rows changed; above the grid, the
// scrollback. Keys go out as a VT keyboard sends them; keys, the emulator's answers to the
// device's queries, and pastes leave through sinks its creator sets (without them, nothing is
// sent). The grid follows the widget's size.
//
// The view follows new output while it is at the bottom; once the user scrolls up it stays on
// the lines shown until the user types or scrolls back down. Selecting (drag, double-click for
// a word, triple-click for a line, with Shift even while the device reports the mouse) and the
// clipboard work as in other terminals; Ctrl+Shift+C/V, Shift+Insert and the middle button
// copy and paste.

#include "terminal/findtarget.h"
#include "terminal/vtengine.h"
#include "terminal/vtfindtext.h"
#include "terminal/vtselection.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QRawFont>
#include <QTimer>

#include <array>
#include <functional>
#include <string_view>
#include <unordered_map>

class QKeyEvent;

namespace terminal {

class VtView : public QAbstractScrollArea, public FindTarget {
    Q_OBJECT
public:
    explicit VtView(QWidget* parent = nullptr);
    ~VtView() override;

    // Where keys and the emulator's answers go (the port's send queue).
    void setOutputSink(std::function<void(std::string_view)> sink);
    // While `on` says so, what the user types is also shown, as the device would echo it;
    // the engine's answers to the device never are.
    void setLocalEcho(std::function<bool()> on) { m_localEcho = std::move(on); }
    // Where pasted text goes (the session's paste rule); without one it is sent as typed, its
    // line breaks as Enter Sends says.
    void setPasteSink(std::function<void(QString)> sink) { m_pasteSink = std::move(sink); }
    // Asked for an Alt chord: true when a menu took it, so the terminal must not send it.
    void setMenuChordTaken(std::function<bool(const QKeyEvent&)> taken) { m_menuTaken = std::move(taken); }
    // Ctrl with the wheel asks for a zoom of this many steps (the log view keeps the zoom).
    void setZoomSink(std::function<void(int)> zoom) { m_zoom = std::move(zoom); }

    void setEnterSends(EnterSends mode) { m_keys.enter = mode; }
    void setBackspaceSends(BackspaceSends mode) { m_keys.backspace = mode; }
    BackspaceSends backspaceSends() const { return m_keys.backspace; }
    void setScrollbackLines(std::size_t lines);
    std::size_t scrollbackLines() const { return m_screen.scrollback().limit(); }

    // Bytes from the device; and typed bytes shown by local echo.
    void feed(std::string_view bytes);
    void echoTyped(std::string_view bytes) { feed(bytes); }
    // Paints what changed now instead of at the next frame.
    void flush();

    void copy();
    void paste(const QString& text);
    void pasteClipboard();
    void selectAll();
    void clear();
    void resetTerminal();
    QString selectedText() const;

    // What screen readers read: every scrollback line and every screen row, one per line.
    QString readerText() const;
    const VtScreen& screen() const { return m_screen; }
    VtEngine& engine() { return m_engine; }
    // True while the view shows the newest lines.
    bool atBottom() const { return m_follow; }
    // The first line shown (an index into the screen's lines).
    std::size_t topLine() const;
    void scrollLines(long delta);

    // --- the find bar's view: every scrollback line and screen row, in UTF-8 ---
    FindText findText() override { return m_findText.update(m_screen); }
    CharacterSet findCharacterSet() const override { return CharacterSet::Utf8; }
    FindRange shownRange() override;
    void showMatches(std::vector<FindRange> matches, std::optional<FindRange> current,
                     bool reveal) override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab is a key like any other
    void scrollContentsBy(int, int) override {}

private:
    struct Style {
        QRawFont font;
        std::unordered_map<char32_t, quint32> glyphs;
    };
    void sync();
    void scheduleSync();
    void updateMetrics();
    void fitGrid();
    void updateScrollBar();
    void userScrolled(int value);
    void typed(const KeyAction& action);
    bool handleViewKey(QKeyEvent* e);
    KeyAction actionFor(const QKeyEvent& e) const;
    bool reportMouse(QMouseEvent* e, bool pressed, bool release);
    VtPoint pointAt(QPoint pos) const;
    void paintRow(QPainter& p, const VtRow& row, std::uint64_t line, int y);
    void paintCursor(QPainter& p);
    quint32 glyphOf(Style& style, char32_t ch);
    bool selected(std::uint64_t line, int col) const;
    // The find bar's mark on a cell: 0 none, 1 a match, 2 the current match.
    int foundAt(std::uint64_t line, int col) const;

    VtScreen m_screen;
    VtEngine m_engine;
    KeyOptions m_keys;
    std::function<void(std::string_view)> m_output;
    std::function<bool()> m_localEcho;
    std::string* m_echo = nullptr; // collects typed bytes while a key is handled
    std::function<void(QString)> m_pasteSink;
    std::function<bool(const QKeyEvent&)> m_menuTaken;
    std::function<void(int)> m_zoom;

    QTimer m_syncTimer;
    bool m_follow = true;
    std::uint64_t m_topAbs = 0; // the first line shown, numbered absolutely, when not following
    std::uint64_t m_pushedSeen = 0;
    bool m_scrolling = false; // the last catch-up found lines pushed off the top
    bool m_settingBar = false;

    int m_cellWidth = 8, m_lineHeight = 16, m_ascent = 12;
    std::array<Style, 4> m_styles; // regular, bold, italic, bold italic
    QVector<quint32> m_runGlyphs;
    QVector<QPointF> m_runPositions;

    VtSelection m_selection;
    std::pair<VtPoint, VtPoint> m_selRange;
    bool m_selecting = false;
    QElapsedTimer m_lastDouble; // a click soon after a double-click selects the line
    QPoint m_pressPos;

    VtFindText m_findText;
    std::vector<VtCellRange> m_found, m_foundCurrent; // the cells of the matches on the glass
};

} // namespace terminal
