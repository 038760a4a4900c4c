#include "framework/dialog.h"

#include "framework/application.h"
#include "framework/codepage.h"
#include "framework/errors.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace fw {

void DataExchange::Radio(std::span<QRadioButton* const> group, int& value) {
    if (m_save) {
        value = -1;
        for (std::size_t i = 0; i < group.size(); ++i)
            if (group[i]->isChecked()) value = static_cast<int>(i);
        return;
    }
    // Exclusive buttons refuse to be cleared one by one: lift that for the moment.
    for (std::size_t i = 0; i < group.size(); ++i) {
        QRadioButton* button = group[i];
        QButtonGroup* buttons = button->group();
        const bool exclusive = buttons ? buttons->exclusive() : button->autoExclusive();
        if (buttons)
            buttons->setExclusive(false);
        else
            button->setAutoExclusive(false);
        button->setChecked(static_cast<int>(i) == value);
        if (buttons)
            buttons->setExclusive(exclusive);
        else
            button->setAutoExclusive(exclusive);
    }
}

void DataExchange::Text(QLineEdit* field, std::string& value) {
    if (m_save)
        value = ToAnsi(field->text());
    else
        field->setText(FromAnsi(value));
}

Dialog::Dialog(QWidget* owner, QSize sizeInDialogUnits, std::optional<QPoint> position)
    : QDialog(owner)
    , m_sizeDu(sizeInDialogUnits)
    , m_positionDu(position) {
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
}

QSize Dialog::BaseUnits(const QFont& dialogFont) {
    const QFontMetrics metrics(dialogFont);
    static const QString kSample =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int average = (metrics.horizontalAdvance(kSample) / 26 + 1) / 2;
    return {std::max(1, average), std::max(1, metrics.height())};
}

void Dialog::Layout() {
    const QSize base = BaseUnits(font());
    const auto x = [&](int du) { return du * base.width() / 4; };
    const auto y = [&](int du) { return du * base.height() / 8; };
    // Every control, also those inside group boxes (whose places count from the box).
    for (QWidget* widget : findChildren<QWidget*>()) {
        if (widget->isWindow()) continue;
        const QRect du = widget->geometry();
        widget->setGeometry(x(du.x()), y(du.y()), x(du.width()), y(du.height()));
    }
    setFixedSize(x(m_sizeDu.width()), y(m_sizeDu.height()));
}

// Centred over a main window smaller than itself, or placed from one near the edge, a dialog
// would reach off the screen; it is kept whole on the owner's screen.
static void MoveKeepingOnScreen(QWidget& dialog, QPoint topLeft, const QWidget& owner) {
    if (const QScreen* screen = owner.screen()) {
        const QRect avail = screen->availableGeometry();
        topLeft.setX(
            std::max(avail.left(), std::min(topLeft.x(), avail.right() + 1 - dialog.width())));
        topLeft.setY(
            std::max(avail.top(), std::min(topLeft.y(), avail.bottom() + 1 - dialog.height())));
    }
    dialog.move(topLeft);
}

void Dialog::Place() {
    QWidget* owner = parentWidget() ? parentWidget()->window() : MainWindow();
    if (!owner) return;
    if (m_positionDu) {
        const QSize base = BaseUnits(font());
        // The client area begins below the menu bar.
        int top = 0;
        if (auto* frame = qobject_cast<QMainWindow*>(owner); frame && frame->menuWidget())
            top = frame->menuWidget()->geometry().bottom() + 1;
        const QPoint origin = owner->mapToGlobal(QPoint(0, top));
        MoveKeepingOnScreen(*this,
                            origin + QPoint(m_positionDu->x() * base.width() / 4,
                                            m_positionDu->y() * base.height() / 8),
                            *owner);
        return;
    }
    const QRect area = owner->frameGeometry();
    MoveKeepingOnScreen(*this, area.center() - rect().center(), *owner);
}

int Dialog::DoModal() {
    m_initialised = false;
    // Owned by a disabled main window, the dialog still takes input.
    setEnabled(true);
    return exec();
}

bool Dialog::UpdateData(bool saveAndValidate) {
    try {
        DataExchange dx(saveAndValidate);
        DoDataExchange(dx);
        return true;
    } catch (...) {
        return false;
    }
}

bool Dialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void Dialog::showEvent(QShowEvent* e) {
    if (!m_initialised) {
        m_initialised = true;
        Place();
        for (QRadioButton* radio : findChildren<QRadioButton*>())
            radio->installEventFilter(this);
        if (OnInitDialog()) PlaceFirstFocus();
    }
    QDialog::showEvent(e);
}

void Dialog::OnOK() {
    if (!UpdateData(true)) return;
    QDialog::accept();
}

void Dialog::OnCancel() {
    QDialog::reject();
}

// A failure inside OK or Cancel is reported like a failed command; the dialog stays.
void Dialog::accept() {
    Guard(Entry::MenuOrKeyCommand, [this] { OnOK(); });
}
void Dialog::reject() {
    Guard(Entry::MenuOrKeyCommand, [this] { OnCancel(); });
}

namespace {

bool CanTakeFocus(const QWidget* w, const QWidget* window) {
    return w->isEnabled() && w->isVisibleTo(window) && w->focusPolicy() != Qt::NoFocus;
}

bool TakesTabFocus(const QWidget* w, const QWidget* window) {
    return CanTakeFocus(w, window) && (w->focusPolicy() & Qt::TabFocus);
}

// The radio buttons that go with `w` (none when it is not one), in tab order: those of its
// button group, or else its auto-exclusive siblings.
QList<QRadioButton*> RadioGroupOf(QWidget* w) {
    auto* radio = qobject_cast<QRadioButton*>(w);
    if (!radio) return {};
    const auto belongs = [radio](QWidget* other) {
        auto* candidate = qobject_cast<QRadioButton*>(other);
        if (!candidate) return false;
        if (radio->group()) return candidate->group() == radio->group();
        return candidate == radio || (!candidate->group() && candidate->autoExclusive() &&
                                      radio->autoExclusive() &&
                                      candidate->parentWidget() == radio->parentWidget());
    };
    QList<QRadioButton*> group;
    QWidget* window = radio->window();
    for (QWidget* next = window->nextInFocusChain(); next != window;
         next = next->nextInFocusChain())
        if (belongs(next)) group.append(static_cast<QRadioButton*>(next));
    return group;
}

// Where the focus goes when it enters the group of `w`: the group's checked button if it
// can take the focus, else `w` itself. (Qt gives the Tab stop of a group to whichever button
// was checked last, which the data exchange does not keep up to date: any focus counts.)
QWidget* EntryOf(QWidget* w) {
    for (QRadioButton* radio : RadioGroupOf(w))
        if (radio->isChecked() && CanTakeFocus(radio, w->window())) return radio;
    return w;
}

bool IsEnter(const QKeyEvent* e) {
    return (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
           (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

void Dialog::keyPressEvent(QKeyEvent* e) {
    // Enter presses the focused push button; elsewhere the default button, or OK where the
    // form marks none.
    if (IsEnter(e)) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused && focused->isEnabled()) {
            focused->click();
            return;
        }
        for (QPushButton* button : findChildren<QPushButton*>())
            if (button->isDefault() && button->isEnabled() && button->isVisibleTo(this)) {
                button->click();
                return;
            }
        accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool Dialog::focusNextPrevChild(bool next) {
    // Tab leaves a radio group as a whole and enters the next one at its checked button.
    QWidget* from = focusWidget();
    const QList<QRadioButton*> fromGroup = RadioGroupOf(from);
    const auto children = findChildren<QWidget*>().size();
    for (qsizetype step = 0; step <= children; ++step) {
        if (!QDialog::focusNextPrevChild(next)) return false;
        QWidget* now = focusWidget();
        if (!now || now == from) return true;
        if (fromGroup.contains(now)) continue;
        if (QWidget* entry = EntryOf(now); entry != now)
            entry->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return true;
}

bool Dialog::eventFilter(QObject* watched, QEvent* e) {
    // The arrow keys move within a radio group, in tab order and round, and check the button
    // they reach.
    if (e->type() == QEvent::KeyPress) {
        auto* radio = qobject_cast<QRadioButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(e);
        const int k = key->key();
        const bool forward = k == Qt::Key_Down || k == Qt::Key_Right;
        const bool backward = k == Qt::Key_Up || k == Qt::Key_Left;
        if (radio && (forward || backward) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            const QList<QRadioButton*> group = RadioGroupOf(radio);
            const qsizetype n = group.size();
            const qsizetype at = group.indexOf(radio);
            for (qsizetype step = 1; at >= 0 && step < n; ++step) {
                QRadioButton* target = group[(at + (forward ? step : n - step)) % n];
                if (!CanTakeFocus(target, this)) continue;
                target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                if (!target->isChecked()) target->click();
                break;
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void Dialog::PlaceFirstFocus() {
    // The first control in tab order, a radio group at its checked button.
    for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain())
        if (isAncestorOf(w) && TakesTabFocus(w, this)) {
            EntryOf(w)->setFocus(Qt::TabFocusReason);
            return;
        }
}

} // namespace fw
