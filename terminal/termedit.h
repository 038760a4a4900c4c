#pragma once
// The terminal screen: a view of Wirelog's own over the screen model. Typed characters go to
// OnChar (sent to the port, shown only with local echo or while the port is closed); the
// frame writes received text through the edit operations below, which change only the model.
//
// The view catches up with the model at most once per display frame (or at once with flush(),
// and after a typed key): it lays out and paints only the lines that are visible, wrapping
// them at the view's width in the desktop's fixed-width font, and draws control characters as
// small framed boxes of their hexadecimal value, so that they show whatever the fonts. While
// the view is at the end it follows new text; once the user scrolls up it keeps showing the
// same text until the trim takes it (then the oldest whole line is at the top). Typing or End
// follows the end again.
//
// A left gutter can be reserved and painted per screen line (say, with a time stamp).

#include "framework/types.h"
#include "terminal/enterkey.h"
#include "terminal/findtarget.h"
#include "terminal/screenmodel.h"
#include "terminal/screenlayout.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPixmap>
#include <QRawFont>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace terminal {
// The sizes the screen's text may be shown at, in points.
inline constexpr int kSmallestPointSize = 6;
inline constexpr int kLargestPointSize = 72;
} // namespace terminal

class CTermEdit : public QAbstractScrollArea, public terminal::FindTarget {
    Q_OBJECT
public:
    explicit CTermEdit(QWidget* parent = nullptr);
    ~CTermEdit() override;

    Bool32 m_bEcho = 0;                                           // local echo of typed characters
    terminal::EnterSends m_enterSends = terminal::EnterSends::CR; // what the Enter key types

    // --- the edit control's operations ---
    std::size_t textLength() const { return m_model.length(); }
    std::string_view text() const { return m_model.text().text(); }
    void setText(std::string_view text);
    void trimFront(std::size_t n);
    void setSel(std::size_t start, std::size_t end);
    void scrollCaret();
    void replaceSel(std::string_view text);
    const terminal::TextModel& model() const { return m_model.text(); }
    // The text with its selection and stamps, as the view shows it.
    const terminal::ScreenModel& screen() const { return m_model; }
    // How the screen reads its bytes and how typed text becomes bytes.
    terminal::CharacterSet characterSet() const { return m_model.characterSet(); }
    void setCharacterSet(terminal::CharacterSet set);
    // The font at its normal size (the desktop's fixed-width font until set), and how many
    // points larger (or smaller) the text is shown; the shown size stays within
    // kSmallestPointSize..kLargestPointSize. Setting the font ends any zoom.
    const QFont& baseFont() const { return m_baseFont; }
    void setBaseFont(const QFont& font);
    int zoom() const { return m_zoom; }
    void zoomTo(int steps);
    // Told the font the text is shown in whenever the font or the zoom changes, so that another
    // view can follow.
    void setFontFollower(std::function<void(const QFont&)> follower) { m_fontFollower = std::move(follower); }
    // How many KB of text the screen keeps (terminal/screentrim.h); 16 unless set.
    std::size_t screenSizeKB() const { return m_model.sizeKB(); }
    void setScreenSizeKB(std::size_t kb) { m_model.setSizeKB(kb); }
    // When each line's first received byte arrived; it follows every change of the text.
    terminal::LineStamps& stamps() { return m_model.stamps(); }
    const terminal::LineStamps& stamps() const { return m_model.stamps(); }

    // A typed character (WM_CHAR): only the low byte counts; repeat count and flags are unused.
    // While `portOpen` says yes the byte goes to `send`, and shows only with local echo; with
    // the port closed it shows. An error of `send` is reported, and the byte is not shown.
    void OnChar(unsigned nChar, unsigned nRepCnt, unsigned nFlags);
    // Where typed bytes go, set by whoever creates the screen. Without it the screen acts as
    // with a closed port.
    void setTypedSink(std::function<bool()> portOpen, std::function<void(std::string_view)> send);
    // While `refuse` says so (a port waiting for its device), typed keys go nowhere: neither
    // sent nor shown; `refuse` itself tells the user.
    void setTypedRefusal(std::function<bool()> refuse) { m_refuse = std::move(refuse); }
    // The context menu's "Paste": shown with a handler, enabled while `canPaste` says so.
    void setPasteHandler(std::function<bool()> canPaste, std::function<void()> paste) {
        m_canPaste = std::move(canPaste);
        m_paste = std::move(paste);
    }

    // Brings the view up to date with the model now.
    void flush();

    // The screen's text as a reader reads it: line breaks as "\n", no CR, control characters
    // as their Unicode pictures, every other byte as its character of the code page.
    static QString Render(std::string_view bytes) { return terminal::ScreenModel::Render(bytes); }
    // That text of this screen, and where a model position falls in it.
    QString readerText() const { return m_model.readerText(); }
    int readerOffset(std::size_t position) const { return m_model.readerOffset(position); }
    std::size_t modelPosition(int offset) const { return m_model.modelPosition(offset); }

    // --- what the view shows, for tests and the accessible interface ---
    struct Row {
        std::size_t start,
            end;          // bytes of the model on this row (a line's last row holds its break)
        std::size_t line; // the screen line it belongs to
    };
    // The rows on the glass, top to bottom, as of the last catch-up.
    std::vector<Row> visibleRows();
    int columns() const { return m_columns; }
    bool followsEnd() const { return m_follow; }
    void selectAll();
    void copy() const;
    // Where a model position is drawn, in viewport coordinates (the caret's rectangle).
    QRect caretRect(std::size_t position);
    // The model position under a viewport point.
    std::size_t positionAt(QPoint point);

    // A narrow gutter left of the text with the time each screen line's first received byte
    // arrived, beside the line's first row only; lines that typing started show none. The
    // stamps are kept whether or not they are shown.
    void setTimeStamps(bool shown);
    bool timeStampsShown() const { return m_timeStamps; }

    // A thin line drawn across the view where the text ends now (the port went away, came
    // back); it is no part of the text and goes when its place is trimmed.
    void addSeparator() { m_model.addSeparator(); viewport()->update(); }

    // --- the find bar's view of the screen ---
    terminal::FindText findText() override;
    terminal::CharacterSet findCharacterSet() const override { return charSet(); }
    terminal::FindRange shownRange() override;
    void showMatches(std::vector<terminal::FindRange> matches,
                     std::optional<terminal::FindRange> current, bool reveal) override;

protected:
    bool event(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // A row of the layout: line `line`, its `row`th wrapped row.
    struct Place {
        std::size_t line = 0;
        std::size_t row = 0;
    };
    struct Wrap {
        std::uint64_t end = 0;           // absolute end of the line when wrapped
        std::vector<std::uint32_t> rows; // row starts within the line
    };

    // Text-producing keys and committed input-method text, one character at a time.
    void typeText(const QString& text);
    void DefaultChar(unsigned char c);
    // After a key's edit of the model: the caret at the end of the selection, shown at once.
    void showEdit();
    void TypeEnter(std::string_view bytes);
    // Sends `bytes` while the port is open; shows `shown` with local echo or a closed port.
    void typeBytes(std::string_view bytes, unsigned char shown);
    void scheduleSync();
    void syncView();
    void catchUp();
    void updateMetrics();
    void updateScrollBar();
    void userScrolled(int value);

    const std::vector<std::uint32_t>& rowsOf(std::size_t line);
    std::size_t rowCount(std::size_t line) { return rowsOf(line).size(); }
    Row rowAt(Place p);
    bool stepRows(Place& p, long delta);
    Place topPlace();
    void setTop(Place p);
    Place placeOf(std::size_t position);
    int visibleRowCount() const;
    void ensureCaretVisible() { ensureVisible(caret()); }
    void ensureVisible(std::size_t position);
    void scrollRows(long delta);
    // Shows the end of the text and follows it from now on.
    void followEnd();

    // The user's selection: from `anchor` to `caret` (model positions).
    void selectByUser(std::size_t anchor, std::size_t caret);
    std::size_t caret() const { return m_model.caret(); }
    std::size_t anchor() const { return m_model.anchor(); }
    void moveCaret(std::size_t to, bool extend);
    // Where a caret-moving key takes the caret; none for a key that is not one.
    std::optional<std::size_t> caretTarget(int key, bool extend, bool control);
    std::size_t verticalMove(std::size_t from, long rows);

    void paintRow(QPainter& p, const Row& row, int y);
    // A byte of a row that is not a glyph of the font (a box, or a character the desktop's
    // fallback draws), drawn at once; tabs and breaks take room only.
    void drawChar(QPainter& p, char32_t code, terminal::Glyph glyph, QPoint at, bool selected);
    // The glyphs gathered for row `y`, in one colour.
    void drawRun(QPainter& p, int y, const QColor& ink);
    void paintStamp(QPainter& p, std::size_t lineStart, int y);
    void paintSeparators(QPainter& p, const std::vector<Row>& rows);
    // The find bar's mark on byte `at` (absolute): 0 none, 1 a match, 2 the current match.
    int foundAt(std::uint64_t at) const;
    const QPixmap& box(unsigned char b, bool selected);
    void paintChar(QPainter& p, const terminal::LaidChar& c, int x, int y, bool selected);

    terminal::CharacterSet charSet() const { return m_model.characterSet(); }
    bool portOpen() const { return m_portOpen && m_send && m_portOpen(); }
    std::string_view slice(std::size_t start, std::size_t end) const {
        return m_model.slice(start, end);
    }

    terminal::ScreenModel m_model;
    std::function<bool()> m_portOpen;
    std::function<void(std::string_view)> m_send;
    std::function<bool()> m_refuse;
    std::function<bool()> m_canPaste;
    std::function<void()> m_paste;
    std::function<void(const QFont&)> m_fontFollower;
    QTimer m_syncTimer;
    bool m_streaming = false; // the last catch-up found the model changed

    // Layout: the font's cell and the view's width in cells.
    int m_cellWidth = 8;
    int m_lineHeight = 16;
    int m_ascent = 12;
    int m_columns = 80;
    bool m_timeStamps = false;
    QFont m_baseFont;
    int m_zoom = 0;
    int m_gutterWidth = 0;
    QHash<std::uint64_t, Wrap> m_wraps; // wrapped visible lines, by lineId

    // Painting without shaping: each byte's glyph in the font, looked up once per font (0 where
    // the font has none, and the character is drawn as text instead).
    QRawFont m_rawFont;
    std::array<quint32, 256> m_glyphOf{};
    QHash<char32_t, quint32> m_wideGlyphOf; // the same for the characters beyond one byte
    // The glyph of a character in the font, 0 when it has none.
    quint32 glyphOf(char32_t code);
    QFont m_boxFont;
    std::array<QPixmap, 2 * 256> m_boxes; // a control character's box, drawn once (and selected)
    QList<quint32> m_runGlyphs;
    QList<QPointF> m_runPositions;

    // Scrolling: following the end, or the top row named by its line's lasting id.
    bool m_follow = true;
    std::uint64_t m_topLine = 0;
    std::size_t m_topRow = 0;
    bool m_settingBar = false;

    // A drag's anchor (absolute, so that a trim under it cannot move it onto other bytes).
    bool m_dragging = false;
    std::uint64_t m_dragAnchor = 0;
    qint64 m_lastDoubleClick = -1;
    QPoint m_doubleClickPoint;
    long m_preferredColumn = -1;

    QString m_readerText; // what readers were last told the text is

    std::vector<terminal::FindRange> m_found; // the find bar's matches on the glass
    std::optional<terminal::FindRange> m_foundCurrent;
};
