#include "res/vocabulary.h"

#include "res/resource.h"

#include <iterator>

namespace res {
namespace {

constexpr MenuItem kSendFile[] = {
    {ID_FILE_SEND_XMODEM, "&XMODEM..."},
    {ID_FILE_SEND_YMODEM, "&YMODEM..."},
    {ID_FILE_SEND_ZMODEM, "&ZMODEM..."},
};

constexpr MenuItem kReceiveFile[] = {
    {ID_FILE_RECEIVE_XMODEM, "&XMODEM..."},
    {ID_FILE_RECEIVE_YMODEM, "&YMODEM..."},
    {ID_FILE_RECEIVE_ZMODEM, "&ZMODEM..."},
};

constexpr MenuItem kFile[] = {
    {ID_FILE_OPEN_DUMP, "&Open Dump File..."},
    {ID_FILE_CLOSE_DUMP, "&Close Dump File"},
    {ID_FILE_OPEN_LOG, "Open &Log File..."},
    {ID_FILE_CLOSE_LOG, "Close Lo&g File"},
    {0, nullptr},
    {ID_FILE_TRANSMIT_TEXT, "&Transmit Text File..."},
    {0, "Send &File", kSendFile},
    {0, "&Receive File", kReceiveFile},
    {0, nullptr},
    {ID_APP_EXIT, "E&xit"},
};

// The macros' commands; the items show the macros' names once the menu opens.
constexpr MenuItem kMacros[] = {
    {ID_COMM_MACRO_FIRST, "Macro 1"},       {ID_COMM_MACRO_FIRST + 1, "Macro 2"},
    {ID_COMM_MACRO_FIRST + 2, "Macro 3"},   {ID_COMM_MACRO_FIRST + 3, "Macro 4"},
    {ID_COMM_MACRO_FIRST + 4, "Macro 5"},   {ID_COMM_MACRO_FIRST + 5, "Macro 6"},
    {ID_COMM_MACRO_FIRST + 6, "Macro 7"},   {ID_COMM_MACRO_FIRST + 7, "Macro 8"},
    {ID_COMM_MACRO_FIRST + 8, "Macro 9"},   {ID_COMM_MACRO_FIRST + 9, "Macro 10"},
    {ID_COMM_MACRO_FIRST + 10, "Macro 11"}, {ID_COMM_MACRO_FIRST + 11, "Macro 12"},
};
static_assert(std::size(kMacros) == ID_COMM_MACRO_LAST - ID_COMM_MACRO_FIRST + 1);

constexpr MenuItem kCommunication[] = {
    {ID_COMM_PORT_OPENCLOSE, "Port &Open"},
    {0, nullptr},
    {ID_COMM_DIAL, "&Dial Phone..."},
    {ID_COMM_HANGUP, "&Hang Up"},
    {0, nullptr},
    {ID_COMM_SENDBREAK, "Send &Break"},
    {0, "&Macros", kMacros},
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

constexpr MenuItem kCharacterSet[] = {
    {ID_SETTINGS_CHARSET_UTF8, "&UTF-8", {}, true},
    {ID_SETTINGS_CHARSET_WESTERN, "&Western (Windows-1252)", {}, true},
};

constexpr MenuItem kSettings[] = {
    {ID_SETTINGS_INPUTLEN, "&Input Len..."},
    {ID_SETTINGS_RTHRESHOLD, "&RThreshold..."},
    {ID_SETTINGS_STHRESHOLD, "&SThreshold..."},
    {ID_SETTINGS_PARITYREPLACE, "P&arity Replace..."},
    {ID_SETTINGS_DTRENABLE, "&DTR Enable"},
    {ID_SETTINGS_RTSENABLE, "R&TS Enable"},
    {0, nullptr},
    {ID_SETTINGS_PORT, "Port &Settings..."},
    {ID_SETTINGS_MACROS, "&Macros..."},
    {ID_SETTINGS_PACING, "Transmit &Pacing..."},
    {0, nullptr},
    {0, "&Enter Sends", kEnterSends},
    {0, "Line &Breaks From Device", kLineBreaks},
    {0, "C&haracter Set", kCharacterSet},
    {ID_SETTINGS_SCREENSIZE, "Scree&n Size..."},
    {ID_SETTINGS_SCROLLBACK, "S&crollback Lines..."},
    {0, "Bac&kspace Sends", kBackspaceSends},
};

constexpr MenuItem kView[] = {
    {ID_VIEW_TOOLBAR, "&Toolbar"},
    {ID_VIEW_STATUS_BAR, "&Status Bar"},
    {ID_VIEW_SENDBAR, "Send &Bar"},
    {ID_VIEW_MACROBAR, "M&acro Bar"},
    {0, nullptr},
    {ID_VIEW_HEX, "&HEX View"},
    {ID_VIEW_TIMESTAMPS, "Time Sta&mps"},
    {ID_VIEW_TERMINAL, "Terminal &Emulation"},
    {ID_VIEW_RESET_TERMINAL, "&Reset Terminal"},
    {0, nullptr},
    {ID_VIEW_ZOOM_IN, "&Zoom In"},
    {ID_VIEW_ZOOM_OUT, "Zoom &Out"},
    {ID_VIEW_ZOOM_NORMAL, "&Normal Size"},
    {ID_VIEW_FONT, "&Font..."},
    {0, nullptr},
    {ID_VIEW_FIND, "F&ind..."},
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

const Accelerator kClipboardChords[] = {
    {Qt::CTRL | Qt::SHIFT | Qt::Key_C, ID_EDIT_COPY_SCREEN},
    {Qt::CTRL | Qt::SHIFT | Qt::Key_V, ID_EDIT_PASTE_TO_PORT},
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
std::span<const Accelerator> ClipboardChords() {
    return kClipboardChords;
}
std::span<const unsigned> StatusIndicators() {
    return kIndicators;
}

} // namespace res
