#pragma once
// The find bar over the view: a field for the pattern (text in the view's character set, or
// hexadecimal bytes with "Hex"), "Match case", Previous and Next (Enter and Shift+Enter in the
// field, F3 and Shift+F3 through the frame), the matches on the glass highlighted and how many
// there are. Escape closes it and gives the view its focus back.
//
// While it is open it follows the view's text a bounded amount of work at a time, so that a
// flood or a huge text never holds the window: the count goes on in later turns. A current
// match that the view trimmed away moves to the oldest match still there.

#include "terminal/findtarget.h"
#include "terminal/findtext.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace terminal {

class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    // The view searched (and given the focus back on Escape); the search starts anew.
    void setTarget(FindTarget* target, QWidget* view);
    // Shows the bar with the field focused and its text selected.
    void open();
    // Hides the bar, ends the highlighting and focuses the view.
    void close();
    // The next match after the current one (or after the top of the glass), wrapping round;
    // `backward` for the previous one.
    void findNext(bool backward = false);

    // --- what it shows, for tests ---
    QLineEdit* field() const { return m_field; }
    QCheckBox* hexBox() const { return m_hex; }
    QCheckBox* caseBox() const { return m_case; }
    QString status() const;
    std::optional<std::uint64_t> current() const { return m_current; }
    // Catches up with the view now, as many turns as it takes (tests and the frame's idle).
    void refreshNow();

signals:
    // Opened (true) or closed (false).
    void visibilityChanged(bool open);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The view's text, with what it says was rewritten kept for the count's next step.
    FindText take();
    void patternChanged();
    // One turn of catching up: bounded work, another turn scheduled when not done.
    void refresh();
    void moveCurrentIntoText(const FindText& text);
    void showHighlights(const FindText& text, bool reveal);

    QLineEdit* m_field;
    QCheckBox* m_hex;
    QCheckBox* m_case;
    QLabel* m_count;
    FindTarget* m_target = nullptr;
    QPointer<QWidget> m_view;
    QTimer m_timer;
    MatchList m_list;
    std::string m_pattern;
    QString m_error; // why the pattern is not one
    std::optional<std::uint64_t> m_current;
    std::uint64_t m_changedFrom = 0;
    std::vector<FindRange> m_shown; // the highlights the view was last given
    std::optional<FindRange> m_shownCurrent;
};

} // namespace terminal
