#include "mainframe/sendbar.h"

#include "framework/codepage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

// The choices in the order of transfer::LineEnding.
const char* const kEndings[transfer::kLineEndingCount] = {"None", "CR", "LF", "CR LF"};
constexpr int kMaxFieldLength = 1 << 20;
const char* const kFaultStyle = "background: #ffe0e0";

} // namespace

CSendBar::CSendBar(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("sendBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("sendField"));
    m_field->setMaxLength(kMaxFieldLength);
    m_field->setAccessibleName(QStringLiteral("Send"));
    m_field->installEventFilter(this);
    m_fault = new QLabel(this);
    m_fault->setObjectName(QStringLiteral("sendFault"));
    m_fault->setStyleSheet(QStringLiteral("color: #b00000"));
    m_fault->hide();
    m_hex = new QCheckBox(QStringLiteral("He&x"), this);
    m_hex->setObjectName(QStringLiteral("sendHex"));
    m_ending = new QComboBox(this);
    m_ending->setObjectName(QStringLiteral("sendEnding"));
    m_ending->setToolTip(QStringLiteral("What goes out after the line"));
    for (const char* ending : kEndings)
        m_ending->addItem(QString::fromLatin1(ending));
    m_ending->setCurrentIndex(static_cast<int>(transfer::LineEnding::CR));
    m_send = new QPushButton(QStringLiteral("Send"), this);
    m_send->setObjectName(QStringLiteral("sendButton"));
    layout->addWidget(m_field, 1);
    layout->addWidget(m_fault);
    layout->addWidget(m_hex);
    layout->addWidget(m_ending);
    layout->addWidget(m_send);
    connect(m_field, &QLineEdit::returnPressed, this, &CSendBar::send);
    connect(m_send, &QPushButton::clicked, this, &CSendBar::send);
    connect(m_field, &QLineEdit::textEdited, this, [this] { m_recall = m_history.size(); });
    connect(m_field, &QLineEdit::textChanged, this, [this] { ShowFault(nullptr); });
    connect(m_hex, &QCheckBox::toggled, this, [this] { ShowFault(nullptr); });
}

void CSendBar::setHistory(const std::vector<std::string>& lines) {
    m_history.clear();
    for (const std::string& line : lines)
        Remember(line);
    m_recall = m_history.size();
}

transfer::LineEnding CSendBar::lineEnding() const {
    return static_cast<transfer::LineEnding>(m_ending->currentIndex());
}

void CSendBar::setLineEnding(transfer::LineEnding ending) {
    const int index = static_cast<int>(ending);
    if (index >= 0 && index < transfer::kLineEndingCount) m_ending->setCurrentIndex(index);
}

bool CSendBar::isHex() const {
    return m_hex->isChecked();
}

void CSendBar::setHex(bool hex) {
    m_hex->setChecked(hex);
}

void CSendBar::send() {
    const std::string line = fw::ToAnsi(m_field->text());
    std::string bytes = line;
    if (isHex()) {
        auto parsed = transfer::ParseHex(line);
        if (const auto* error = std::get_if<transfer::ParseError>(&parsed)) {
            ShowFault(error);
            return;
        }
        bytes = std::get<std::string>(std::move(parsed));
    }
    bytes += transfer::LineEndingBytes(lineEnding());
    if (!line.empty()) Remember(line);
    m_recall = m_history.size();
    m_field->clear();
    emit sendRequested(bytes);
}

void CSendBar::Remember(const std::string& line) {
    if (line.empty()) return;
    std::erase(m_history, line);
    m_history.push_back(line);
    if (m_history.size() > kHistoryLength)
        m_history.erase(m_history.begin(),
                        m_history.begin() + static_cast<long>(m_history.size() - kHistoryLength));
}

void CSendBar::Recall(int step) {
    if (m_recall == m_history.size()) m_draft = m_field->text();
    const auto target = static_cast<long>(m_recall) + step;
    if (target < 0 || target > static_cast<long>(m_history.size())) return;
    m_recall = static_cast<std::size_t>(target);
    m_field->setText(m_recall == m_history.size() ? m_draft : fw::FromAnsi(m_history[m_recall]));
}

void CSendBar::ShowFault(const transfer::ParseError* error) {
    const QString style = error ? QString::fromLatin1(kFaultStyle) : QString();
    if (m_field->styleSheet() != style) m_field->setStyleSheet(style);
    m_fault->setVisible(error != nullptr);
    if (!error) return;
    m_fault->setText(fw::FromAnsi(error->message));
    m_field->setCursorPosition(static_cast<int>(error->position));
    m_field->setFocus();
}

bool CSendBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_field && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->modifiers() & ~Qt::KeypadModifier) return QWidget::eventFilter(watched, e);
        switch (key->key()) {
        case Qt::Key_Up:
            Recall(-1);
            return true;
        case Qt::Key_Down:
            Recall(+1);
            return true;
        case Qt::Key_Escape:
            if (m_onEscape) m_onEscape();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, e);
}
