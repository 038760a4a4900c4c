#include "res/vocabulary.h"

#include "res/resource.h"

namespace res {
namespace {

constexpr MenuItem kFile[] = {
    {ID_FILE_OPEN_DUMP, "&Open Dump File..."},
    {ID_FILE_CLOSE_DUMP, "&Close Dump File"},
    {ID_FILE_OPEN_LOG, "Open &Log File..."},
    {ID_FILE_CLOSE_LOG, "Close Lo&g File"},
    {0, nullptr},
    {ID_FILE_TRANSMIT_TEXT, "&Transmit Text File..."},
    {0, nullptr},
    {ID_APP_EXIT, "E&xit"},
};

constexpr MenuItem kCommunication[] = {
    {ID_COMM_PORT_OPENCLOSE, "Port &Open"},
    {0, nullptr},
    {ID_COMM_DIAL, "&Dial Phone..."},
    {ID_COMM_HANGUP, "&Hang Up"},
    {0, nullptr},
    {ID_COMM_RECONNECT, "&Reconnect Automatically"},
};

constexpr MenuItem kEnterSends[] = {
    {ID_SETTINGS_ENTER_CR, "CR", {}, true},
    {ID_SETTINGS_ENTER_LF, "LF", {}, true},
    {ID_SETTINGS_ENTER_CRLF, "CR LF", {}, true},
};

constexpr MenuItem kBackspaceSends[] = {
    {ID_SETTINGS_BACKSPACE_DEL, "DEL", {}, true},
    {ID_SETTINGS_BACKSPACE_BS, "BS", {}, true},
};

constexpr MenuItem kLineBreaks[] = {
    {ID_SETTINGS_BREAKS_CR, "CR", {}, true},
    {ID_SETTINGS_BREAKS_LF, "LF", {}, true},
    {ID_SETTINGS_BREAKS_AUTO, "Auto", {}, true},
};

constexpr MenuItem kSettings[] = {
    {ID_SETTINGS_INPUTLEN, "&Input Len..."},    {ID_SETTINGS_RTHRESHOLD, "&RThreshold..."},
    {ID_SETTINGS_STHRESHOLD, "&SThreshold..."}, {ID_SETTINGS_PARITYREPLACE, "P&arity Replace..."},
    {ID_SETTINGS_DTRENABLE, "&DTR Enable"},     {0, nullptr},
    {ID_SETTINGS_PORT, "Port &Settings..."},   {0, nullptr},
    {0, "&Enter Sends", kEnterSends},          {0, "Line &Breaks From Device", kLineBreaks},
    {0, "Bac&kspace Sends", kBackspaceSends},
};

constexpr MenuItem kView[] = {
    {ID_VIEW_TOOLBAR, "&Toolbar"},
    {ID_VIEW_STATUS_BAR, "&Status Bar"},
    {0, nullptr},
    {ID_VIEW_HEX, "&HEX View"},
    {ID_VIEW_TIMESTAMPS, "Time Sta&mps"},
    {ID_VIEW_TERMINAL, "Terminal &Emulation"},
    {ID_VIEW_RESET_TERMINAL, "&Reset Terminal"},
    {0, nullptr},
    {ID_VIEW_CLEAR, "&Clear Screen"},
};

constexpr MenuItem kHelp[] = {
    {ID_APP_ABOUT, "&About Wirelog..."},
};

constexpr Menu kMainMenu[] = {
    {"&File", kFile},         {"&Communication", kCommunication},
    {"&Settings", kSettings}, {"&View", kView},
    {"&Help", kHelp},
};

constexpr unsigned kToolBar[] = {
    ID_FILE_OPEN_DUMP,
    ID_FILE_CLOSE_DUMP,
    ID_COMM_PORT_OPEN,
    ID_COMM_PORT_CLOSE,
    0,
    ID_FILE_TRANSMIT_TEXT,
    ID_COMM_DIAL,
    ID_COMM_HANGUP,
    0,
    ID_VIEW_CLEAR,
    0,
    ID_APP_ABOUT,
};

const Accelerator kAccelerators[] = {
    {Qt::CTRL | Qt::Key_N, ID_FILE_NEW},         {Qt::CTRL | Qt::Key_O, ID_FILE_OPEN},
    {Qt::CTRL | Qt::Key_S, ID_FILE_SAVE},        {Qt::CTRL | Qt::Key_Z, ID_EDIT_UNDO},
    {Qt::CTRL | Qt::Key_X, ID_EDIT_CUT},         {Qt::CTRL | Qt::Key_C, ID_EDIT_COPY},
    {Qt::CTRL | Qt::Key_V, ID_EDIT_PASTE},       {Qt::ALT | Qt::Key_Backspace, ID_EDIT_UNDO},
    {Qt::SHIFT | Qt::Key_Delete, ID_EDIT_CUT},   {Qt::CTRL | Qt::Key_Insert, ID_EDIT_COPY},
    {Qt::SHIFT | Qt::Key_Insert, ID_EDIT_PASTE}, {QKeyCombination(Qt::Key_F6), ID_NEXT_PANE},
    {Qt::SHIFT | Qt::Key_F6, ID_PREV_PANE},
};

constexpr unsigned kIndicators[] = {
    ID_SEPARATOR,     ID_INDICATOR_HEX,  ID_INDICATOR_CD,  ID_INDICATOR_CTS,
    ID_INDICATOR_DSR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL,
};

} // namespace

std::span<const Menu> MainMenu() {
    return kMainMenu;
}
std::span<const unsigned> ToolBarSlots() {
    return kToolBar;
}
std::span<const Accelerator> Accelerators() {
    return kAccelerators;
}
std::span<const unsigned> StatusIndicators() {
    return kIndicators;
}

} // namespace res
