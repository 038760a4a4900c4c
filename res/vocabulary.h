#pragma once
// The main window's vocabulary as data: menu, tool bar, accelerators and status panes.
// Menus, buttons and shortcuts are built from these tables.

#include <QKeyCombination>

#include <span>

namespace res {

struct MenuItem {
    unsigned id;      // 0: a separator, or the title of a submenu
    const char* text;
    std::span<const MenuItem> submenu = {}; // with id 0: the submenu's items
    bool radio = false;                     // one of a group that shows which one holds
};

struct Menu {
    const char* title;
    std::span<const MenuItem> items;
};

struct Accelerator {
    QKeyCombination key;
    unsigned id;
};

// The menu IDR_MAINFRAME, left to right, each menu top to bottom.
std::span<const Menu> MainMenu();

// The tool bar's slots, left to right; 0 is a separator. The n-th button (counting buttons
// only) shows the n-th image of the tool bar strip.
std::span<const unsigned> ToolBarSlots();

// The accelerator table IDR_MAINFRAME.
std::span<const Accelerator> Accelerators();

// Copy and paste in the screen: keys of their own, so that Ctrl+C and Ctrl+V keep their
// meaning for the device.
std::span<const Accelerator> ClipboardChords();

// The status bar's panes, left to right; 0 is the message pane.
std::span<const unsigned> StatusIndicators();

// Resource paths
inline constexpr const char* kToolBarImage = ":/icons/toolbar.xpm";
inline constexpr const char* kProgramIcon = ":/icons/wirelog.xpm";
inline constexpr const char* kProgramIconSmall = ":/icons/wirelog16.xpm";
inline constexpr int kToolBarImageWidth = 16;
inline constexpr int kToolBarImageHeight = 15;

} // namespace res
