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
        OnInitDialog();
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

void Dialog::keyPressEvent(QKeyEvent* e) {
    // Enter means OK even where no button is marked as the default.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        e->modifiers() == Qt::NoModifier) {
        bool hasDefault = false;
        for (QPushButton* button : findChildren<QPushButton*>())
            hasDefault |= button->isDefault();
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (!hasDefault && !focused) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(e);
}

} // namespace fw
