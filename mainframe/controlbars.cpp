#include "mainframe/controlbars.h"

#include "framework/codepage.h"
#include "framework/stringtable.h"

#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

bool CToolBar::Create(QMainWindow* frame, unsigned id) {
    auto* bar = new QToolBar(frame);
    bar->setObjectName(QStringLiteral("toolbar%1").arg(id));
    bar->setWindowTitle(QStringLiteral("Toolbar"));
    bar->setAllowedAreas(Qt::AllToolBarAreas);
    bar->setMovable(true);
    bar->setFloatable(true);
    bar->setIconSize(QSize(16, 15));
    frame->addToolBar(Qt::TopToolBarArea, bar);
    m_bar = bar;
    return true;
}

bool CToolBar::LoadToolBar(std::span<const unsigned> buttonSlots, const char* imagePath) {
    const QPixmap strip(QString::fromLatin1(imagePath));
    constexpr int width = 16, height = 15;
    int buttons = 0;
    for (const unsigned id : buttonSlots)
        buttons += id != 0;
    if (strip.isNull() || strip.width() < buttons * width || strip.height() < height) return false;

    int image = 0;
    for (const unsigned id : buttonSlots) {
        if (id == 0) {
            m_bar->addSeparator();
            continue;
        }
        auto* action = new QAction(QIcon(strip.copy(image * width, 0, width, height)),
                                   fw::FromAnsi(fw::LoadStringLine(id, 1)), m_bar);
        ++image;
        action->setData(id);
        action->setStatusTip(fw::FromAnsi(fw::LoadStringLine(id, 0)));
        action->setToolTip(fw::FromAnsi(fw::LoadStringLine(id, 1)));
        action->setObjectName(QStringLiteral("button%1").arg(id));
        m_bar->addAction(action);
        m_buttons.push_back(action);
    }
    return true;
}

bool CToolBar::IsVisible() const {
    return m_bar && m_bar->isVisibleTo(m_bar->parentWidget());
}

QAction* CToolBar::button(unsigned id) const {
    for (QAction* a : m_buttons)
        if (a->data().toUInt() == id) return a;
    return nullptr;
}

bool CStatusBar::Create(QMainWindow* frame, unsigned id) {
    auto* bar = new QStatusBar(frame);
    bar->setObjectName(QStringLiteral("statusbar%1").arg(id));
    bar->setSizeGripEnabled(true);
    frame->setStatusBar(bar);
    m_bar = bar;
    return true;
}

bool CStatusBar::SetIndicators(std::span<const unsigned> ids) {
    if (!m_bar) return false;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        auto* pane = new QLabel(m_bar);
        pane->setObjectName(QStringLiteral("pane%1").arg(i));
        const std::string text = ids[i] == 0 ? std::string() : fw::LoadString(ids[i]);
        if (i == 0) {
            pane->setMinimumWidth(1);
            m_bar->addWidget(pane, 1);
        } else {
            pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            pane->setAlignment(Qt::AlignCenter);
            const int margins = 2 * pane->frameWidth() + 8;
            pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(fw::FromAnsi(text)) +
                                margins);
            pane->setAccessibleDescription(fw::FromAnsi(text));
            m_bar->addPermanentWidget(pane);
        }
        m_panes.push_back(pane);
        m_ids.push_back(ids[i]);
        m_texts.push_back(text);
    }
    return true;
}

bool CStatusBar::IsVisible() const {
    return m_bar && m_bar->isVisibleTo(m_bar->parentWidget());
}

int CStatusBar::CommandToIndex(unsigned id) const {
    for (std::size_t i = 0; i < m_ids.size(); ++i)
        if (m_ids[i] == id) return static_cast<int>(i);
    return -1;
}

void CStatusBar::SetPaneText(int index, const std::string& text, bool update) {
    QLabel* pane = m_panes.at(static_cast<std::size_t>(index));
    const QString shown = fw::FromAnsi(text);
    if (pane->text() == shown) return;
    pane->setText(shown);
    // Painted at once only when it changed: "Receiving" on every receive event of a flood
    // would otherwise cost the display a repaint each time.
    if (update) pane->repaint();
}

std::string CStatusBar::GetPaneText(int index) const {
    return fw::ToAnsi(m_panes.at(static_cast<std::size_t>(index))->text());
}

void CStatusBar::SetPaneOn(int index, bool on) {
    const auto i = static_cast<std::size_t>(index);
    const QString shown = on ? fw::FromAnsi(m_texts.at(i)) : QString();
    // Touch the label only on a real change: idle updates must not wake the event loop.
    if (m_panes.at(i)->text() != shown) m_panes.at(i)->setText(shown);
}

void CStatusBar::SetPaneTip(int index, const std::string& tip) {
    QLabel* pane = m_panes.at(static_cast<std::size_t>(index));
    const QString shown = fw::FromAnsi(tip);
    if (pane->toolTip() != shown) pane->setToolTip(shown);
}
