#pragma once
// The frame's tool bar and status bar: small handles over the Qt bars, which the frame window
// owns. Both are built from the tables in res/.

#include <QAction>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>

#include <span>
#include <string>
#include <vector>

class QLabel;
class QMainWindow;

// Tool bar buttons: one action per button, carrying its command id.
class CToolBar {
public:
    // A visible tool bar at the top of `frame`, dockable on every side. False on failure.
    bool Create(QMainWindow* frame, unsigned id);
    // Lays out `buttonSlots` (0 = separator) with the images of the strip at `imagePath`; every
    // button gets its status prompt and tool tip from the string table. False when the image
    // is missing or holds too few images.
    bool LoadToolBar(std::span<const unsigned> buttonSlots, const char* imagePath);

    QToolBar* widget() const { return m_bar.data(); }
    bool IsVisible() const;
    const std::vector<QAction*>& buttons() const { return m_buttons; }
    QAction* button(unsigned id) const;

private:
    QPointer<QToolBar> m_bar;
    std::vector<QAction*> m_buttons;
};

// Status bar panes: pane 0 takes the free width, the others are as wide as their texts.
class CStatusBar {
public:
    bool Create(QMainWindow* frame, unsigned id);
    bool SetIndicators(std::span<const unsigned> ids);

    QStatusBar* widget() const { return m_bar.data(); }
    bool IsVisible() const;
    int paneCount() const { return static_cast<int>(m_panes.size()); }
    unsigned paneId(int index) const { return m_ids.at(static_cast<std::size_t>(index)); }
    int CommandToIndex(unsigned id) const;

    // Sets a pane's text; with `update` the pane is redrawn at once.
    void SetPaneText(int index, const std::string& text, bool update = true);
    std::string GetPaneText(int index) const;
    // An indicator pane shows its own text while on, nothing while off.
    void SetPaneOn(int index, bool on);
    // The pane's tool tip (touched only when it changes).
    void SetPaneTip(int index, const std::string& tip);

private:
    QPointer<QStatusBar> m_bar;
    std::vector<QLabel*> m_panes;
    std::vector<unsigned> m_ids;
    std::vector<std::string> m_texts; // each indicator's own text
};
