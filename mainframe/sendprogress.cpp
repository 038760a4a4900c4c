#include "mainframe/sendprogress.h"

#include "framework/codepage.h"
#include "framework/stringtable.h"
#include "res/resource.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

#include <algorithm>

CSendProgress::CSendProgress(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("sendProgress"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_bar->setFixedWidth(100);
    m_label = new QLabel(this);
    m_cancel = new QToolButton(this);
    m_cancel->setText(QStringLiteral("Cancel"));
    m_cancel->setObjectName(QStringLiteral("sendCancel"));
    // Pressing it must not take the keyboard from the screen.
    m_cancel->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel);
    connect(m_cancel, &QToolButton::clicked, this, &CSendProgress::cancelRequested);
    hide();
}

void CSendProgress::setProgress(std::int64_t sent, std::int64_t total) {
    const std::int64_t whole = std::max<std::int64_t>(std::max(sent, total), 1);
    const int value = static_cast<int>(sent * 1000 / whole);
    if (m_bar->value() != value) m_bar->setValue(value);
    const QString text = fw::FromAnsi(fw::FormatString(
        IDS_SEND_PROGRESS, {std::to_string(sent), std::to_string(std::max(sent, total))}));
    if (m_label->text() != text) m_label->setText(text);
    if (isHidden()) show();
}

void CSendProgress::finish() {
    hide();
    m_bar->setValue(0);
}
