#include "terminal/findbar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "framework/codepage.h"

#include <algorithm>
#include <limits>

namespace terminal {
namespace {

constexpr std::uint64_t kNothingRewritten = std::numeric_limits<std::uint64_t>::max();
// Bytes looked at per step of the count, the time one turn may take, and how often an open
// bar looks at the view for new text.
constexpr std::size_t kStepBytes = std::size_t{1} << 20;
constexpr qint64 kTurnMs = 8;
constexpr int kFollowMs = 100;
// At most this many matches are highlighted on the glass.
constexpr std::size_t kMaxHighlights = 4096;
// A pattern of a few MB (typed as hexadecimal: three characters a byte) still fits the field.
constexpr int kMaxPatternChars = 4 << 20;

QToolButton* Button(const QString& text, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setAutoRaise(true);
    return button;
}

} // namespace

FindBar::FindBar(QWidget* parent)
    : QWidget(parent), m_field(new QLineEdit(this)), m_hex(new QCheckBox(tr("He&x"), this)),
      m_case(new QCheckBox(tr("Match &case"), this)), m_count(new QLabel(this)) {
    setObjectName(QStringLiteral("findBar"));
    m_field->setObjectName(QStringLiteral("findField"));
    m_field->setMaxLength(kMaxPatternChars);
    m_field->setClearButtonEnabled(true);
    m_field->setMinimumWidth(m_field->fontMetrics().averageCharWidth() * 24);
    m_field->setMaximumWidth(m_field->fontMetrics().averageCharWidth() * 60);
    m_field->installEventFilter(this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* label = new QLabel(tr("F&ind:"), this);
    label->setBuddy(m_field);
    QToolButton* previous = Button(tr("&Previous"), this);
    QToolButton* next = Button(tr("&Next"), this);
    QToolButton* closer = Button(QStringLiteral("\u2715"), this);
    closer->setToolTip(tr("Close the find bar (Escape)"));
    for (QWidget* w : std::initializer_list<QWidget*>{label, m_field, m_hex, m_case, previous, next, m_count})
        layout->addWidget(w, w == m_field ? 1 : 0);
    layout->addStretch();
    layout->addWidget(closer);
    connect(m_field, &QLineEdit::textChanged, this, &FindBar::patternChanged);
    connect(m_hex, &QCheckBox::toggled, this, &FindBar::patternChanged);
    connect(m_case, &QCheckBox::toggled, this, &FindBar::patternChanged);
    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(closer, &QToolButton::clicked, this, &FindBar::close);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FindBar::refresh);
    hide();
}

void FindBar::setTarget(FindTarget* target, QWidget* view) {
    if (m_target && m_target != target) m_target->showMatches({}, std::nullopt, false);
    m_target = target;
    m_view = view;
    m_shown.clear();
    if (isVisible()) patternChanged();
}

void FindBar::open() {
    show();
    emit visibilityChanged(true);
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
    patternChanged();
}

void FindBar::close() {
    m_timer.stop();
    hide();
    emit visibilityChanged(false);
    if (m_target) m_target->showMatches({}, std::nullopt, false);
    m_shown.clear();
    if (m_view) m_view->setFocus(Qt::OtherFocusReason);
}

FindText FindBar::take() {
    FindText text = m_target->findText();
    m_changedFrom = std::min(m_changedFrom, text.changedFrom);
    return text;
}

void FindBar::patternChanged() {
    const bool hex = m_hex->isChecked();
    m_error.clear();
    m_pattern.clear();
    m_case->setEnabled(!hex);
    const QString typed = m_field->text();
    if (hex) {
        const HexPattern parsed = ParseHexPattern(
            std::u16string_view(reinterpret_cast<const char16_t*>(typed.utf16()), typed.size()));
        if (parsed.ok())
            m_pattern = parsed.bytes;
        else
            m_error = tr("Not hexadecimal at character %1").arg(parsed.badAt + 1);
    } else if (m_target) {
        m_pattern = m_target->findCharacterSet() == CharacterSet::Utf8 ? typed.toUtf8().toStdString()
                                                                       : fw::ToAnsi(typed);
    }
    m_list.reset(m_error.isEmpty() ? m_pattern : std::string(), hex || m_case->isChecked());
    m_changedFrom = kNothingRewritten;
    m_current.reset();
    if (m_target && !m_pattern.empty() && m_error.isEmpty()) findNext(false);
    refresh();
}

void FindBar::findNext(bool backward) {
    if (!m_target || m_pattern.empty() || !m_error.isEmpty()) return;
    const FindText text = take();
    const bool matchCase = m_list.matchCase();
    std::size_t at = kNoMatch;
    if (m_current && *m_current >= text.origin) {
        const auto from = static_cast<std::size_t>(*m_current - text.origin);
        at = backward ? FindBackward(text.bytes, m_pattern, from, matchCase)
                      : FindForward(text.bytes, m_pattern, from + 1, matchCase);
    } else {
        // From what is on the glass.
        const FindRange shown = m_target->shownRange();
        const auto offset = [&](std::uint64_t p) {
            return static_cast<std::size_t>(std::clamp(p, text.origin, text.origin + text.bytes.size()) - text.origin);
        };
        at = backward ? FindBackward(text.bytes, m_pattern, offset(shown.end), matchCase)
                      : FindForward(text.bytes, m_pattern, offset(shown.start), matchCase);
    }
    if (at == kNoMatch) // round from the other end
        at = backward ? FindBackward(text.bytes, m_pattern, text.bytes.size(), matchCase)
                      : FindForward(text.bytes, m_pattern, 0, matchCase);
    m_current = at == kNoMatch ? std::nullopt : std::optional<std::uint64_t>(text.origin + at);
    showHighlights(text, true);
    m_count->setText(status());
}

void FindBar::refresh() {
    if (!m_target || isHidden()) return;
    QElapsedTimer clock;
    clock.start();
    const FindText text = take();
    bool done = m_list.done();
    do {
        done = m_list.update(text.bytes, text.origin, m_changedFrom, kStepBytes);
        m_changedFrom = kNothingRewritten;
    } while (!done && clock.elapsed() < kTurnMs);
    moveCurrentIntoText(text);
    showHighlights(text, false);
    m_count->setText(status());
    m_timer.start(done ? kFollowMs : 0);
}

void FindBar::refreshNow() {
    for (int turns = 0; turns < 100000 && !isHidden(); ++turns) {
        refresh();
        if (m_list.done()) break;
    }
}

void FindBar::moveCurrentIntoText(const FindText& text) {
    if (!m_current || m_pattern.empty()) return;
    const std::uint64_t end = text.origin + text.bytes.size();
    const auto offset = static_cast<std::size_t>(std::clamp(*m_current, text.origin, end) - text.origin);
    // Still a match where it was: it stays.
    if (*m_current >= text.origin &&
        !MatchesBetween(text.bytes, m_pattern, offset, offset + 1, m_list.matchCase(), 1).empty())
        return;
    // Trimmed away or rewritten: the nearest match still there, after it.
    const std::size_t at = FindForward(text.bytes, m_pattern, offset, m_list.matchCase());
    m_current = at == kNoMatch ? std::nullopt : std::optional<std::uint64_t>(text.origin + at);
}

void FindBar::showHighlights(const FindText& text, bool reveal) {
    const std::size_t m = m_pattern.size();
    std::optional<FindRange> current;
    if (m_current) current = FindRange{*m_current, *m_current + m};
    if (reveal && current) m_target->showMatches(m_shown, current, true);
    std::vector<FindRange> ranges;
    if (m > 0 && m_error.isEmpty()) {
        const FindRange shown = m_target->shownRange();
        const std::uint64_t end = text.origin + text.bytes.size();
        const std::uint64_t from = std::clamp(shown.start, text.origin + m - 1, end + m - 1) - (m - 1);
        const std::uint64_t to = std::clamp(shown.end, text.origin, end);
        for (const std::size_t at : MatchesBetween(text.bytes, m_pattern, from - text.origin,
                                                   to - text.origin, m_list.matchCase(), kMaxHighlights))
            ranges.push_back({text.origin + at, text.origin + at + m});
    }
    if (ranges == m_shown && current == m_shownCurrent && !reveal) return;
    m_shown = std::move(ranges);
    m_shownCurrent = current;
    m_target->showMatches(m_shown, current, false);
}

QString FindBar::status() const {
    if (!m_error.isEmpty()) return m_error;
    if (m_pattern.empty()) return {};
    if (m_list.count() == 0) return m_list.done() ? tr("Not found") : tr("Searching...");
    const QString total = QString::number(m_list.count()) + (m_list.done() && !m_list.full() ? "" : "+");
    if (m_current) {
        const std::size_t before = m_list.countBefore(*m_current);
        if (before < m_list.count() && m_list.starts()[before] == *m_current)
            return tr("%1 of %2").arg(before + 1).arg(total);
    }
    return total == QLatin1String("1") ? tr("1 match") : tr("%1 matches").arg(total);
}

bool FindBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_field && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findNext(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void FindBar::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(e);
}

} // namespace terminal
