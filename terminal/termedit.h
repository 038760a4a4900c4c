#pragma once
// The terminal screen: a multi-line edit whose text is the TextModel. Typed characters go to
// OnChar (sent to the port, shown only with local echo or while the port is closed); the
// frame writes received text through the edit operations below. The widget catches up with
// the model by itself shortly after a change (or at once with flush()), in time proportional
// to the change.

#include "framework/types.h"
#include "terminal/enterkey.h"
#include "terminal/linestamps.h"
#include "terminal/textmodel.h"

#include <QPlainTextEdit>
#include <QTimer>

#include <string>
#include <string_view>

class CTermEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CTermEdit(QWidget* parent = nullptr);
    ~CTermEdit() override;

    Bool32 m_bEcho = 0; // local echo of typed characters
    terminal::EnterSends m_enterSends = terminal::EnterSends::CR; // what the Enter key types

    // --- the edit control's operations ---
    std::size_t textLength() const { return m_text.length(); }
    const std::string& text() const { return m_text.text(); }
    void setText(std::string_view text);
    void trimFront(std::size_t n);
    void setSel(std::size_t start, std::size_t end);
    void scrollCaret();
    void replaceSel(std::string_view text);
    const TextModel& model() const { return m_text; }
    // When each line's first received byte arrived; it follows every change of the text.
    LineStamps& stamps() { return m_stamps; }
    const LineStamps& stamps() const { return m_stamps; }

    // A typed character (WM_CHAR): only the low byte counts; repeat count and flags are unused.
    void OnChar(unsigned nChar, unsigned nRepCnt, unsigned nFlags);

    // Brings the widget up to date with the model now.
    void flush();

    // What the widget shows for each byte of the model: one character each, so that positions
    // in the model and in the widget's document are the same.
    static QString Render(std::string_view bytes);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    void DefaultChar(unsigned char c);
    void TypeEnter(std::string_view bytes);
    void scheduleSync();
    void syncWidget();
    void adoptWidgetSelection();

    TextModel m_text;
    LineStamps m_stamps;
    QTimer m_syncTimer;
    bool m_syncing = false;
    bool m_selectionDirty = false;
    bool m_scrollPending = false;
};
