// The string table: status prompts (line 1: tool tip), messages and pane texts.

#include "res/strings.h"
#include "framework/stringtable.h"
#include "res/resource.h"

namespace {

constexpr fw::StringEntry kStrings[] = {
    {IDR_MAINFRAME, "Wirelog\n\nWirelog\n\n\nWirelog.Document\nWirelog Document"},
    {ID_FILE_OPEN_DUMP, "Open a communications dump file\nOpen Log"},
    {ID_FILE_CLOSE_DUMP, "Close communications dump file\nClose Log"},
    {ID_FILE_TRANSMIT_TEXT, "Transmit a text file\nTransmit Text"},
    {ID_SETTINGS_INPUTLEN, "Set InputLen"},
    {ID_COMM_PORT_OPENCLOSE, "Open/Close the serial port\nOpen/Close Port"},
    {ID_SETTINGS_PORT, "Set various serial port settings\nSettings"},
    {ID_COMM_DIAL, "Dial a phone number\nDial Phone"},
    {ID_COMM_HANGUP, "Hang up the phone\nHang Up"},
    {ID_SETTINGS_RTHRESHOLD, "Set RThreshold"},
    {ID_SETTINGS_STHRESHOLD, "Set SThreshold"},
    {ID_SETTINGS_PARITYREPLACE, "Set ParityReplace"},
    {ID_SETTINGS_DTRENABLE, "Toggle DTREnable"},
    {ID_VIEW_HEX, "Hexadecimal Display (Receive only)"},
    {ID_QUERY_CD, "Carrier Detect "},
    {ID_QUERY_CTS, "Clear To Send"},
    {ID_QUERY_DSR, "Data Set Ready"},
    {IDS_FAILED_TO_OPEN_FILE, "Failed to open file!"},
    {IDS_DATA_NOT_SENT, "Data could not be sent!"},
    {IDS_PHONE_NUMBER, "Phone Number:"},
    {IDS_DIAL_STRING, "+++ATDT%s\r\n"},
    {IDS_PROMPT_INPUTLEN, "Enter InputLen value:"},
    {IDS_PROMPT_RTHRESHOLD, "Enter RThreshold value:"},
    {IDS_PROMPT_STHRESHOLD, "Enter SThreshold value:"},
    {IDS_PROMPT_PARITYREPLACE, "Enter ParityReplace value:"},
    {IDS_EVENT_SEND, "Sending"},
    {IDS_EVENT_RECEIVE, "Receiving"},
    {IDS_EVENT_CTS, "Change in CTS Detected"},
    {IDS_EVENT_DSR, "Change in DSR Detected"},
    {IDS_EVENT_CD, "Change in CD Detected"},
    {IDS_EVENT_RING, "Phone is Ringing"},
    {IDS_EVENT_EOF, "End of File Detected"},
    {IDS_ERROR_BREAK, "Break Received"},
    {IDS_ERROR_CTSTO, "CTS Timeout"},
    {IDS_ERROR_DSRTO, "DSR Timeout"},
    {IDS_ERROR_FRAME, "Framing Error"},
    {IDS_ERROR_OVERRUN, "Overrun Error"},
    {IDS_ERROR_CDTO, "Carrier Detect Timeout"},
    {IDS_ERROR_RXOVER, "Receive Buffer Overflow"},
    {IDS_ERROR_RXPARITY, "Parity Error"},
    {IDS_ERROR_TXFULL, "Transmit Buffer Full"},
    {IDS_UPDATEDATA_FAILED, "UpdateData Failed during dialog termination!"},
    {IDS_INVALID_PORT,
     "Invalid COM port number!\nThe COM port must be an integer between 1 and 99."},
    {ID_COMM_PORT_OPEN, "Open the serial port\nOpen Port"},
    {ID_COMM_PORT_CLOSE, "Close the serial port\nClose Port"},
    {ID_VIEW_CLEAR, "Empty the terminal Screen\nClear Screen"},
    {ID_INDICATOR_CD, "CD "},
    {ID_INDICATOR_CTS, "CTS"},
    {ID_INDICATOR_DSR, "DSR"},
    {ID_INDICATOR_HEX, "HEX"},
    {ID_INDICATOR_NONE, "---"},
    {ID_COMM_RECONNECT, "Reopen the port when its device comes back after going away\nReconnect"},
    {ID_FILE_OPEN_LOG, "Open a time-stamped text log of what is received\nOpen Text Log"},
    {ID_FILE_CLOSE_LOG, "Close the text log\nClose Text Log"},
    {ID_VIEW_TIMESTAMPS, "Show when each received line arrived\nTime Stamps"},
    {ID_SETTINGS_ENTER_CR, "The Enter key sends CR"},
    {ID_SETTINGS_ENTER_LF, "The Enter key sends LF"},
    {ID_SETTINGS_ENTER_CRLF, "The Enter key sends CR LF"},
    {ID_SETTINGS_BREAKS_CR, "CR or CR LF from the device breaks a line"},
    {ID_SETTINGS_BREAKS_LF, "LF or CR LF from the device breaks a line"},
    {ID_SETTINGS_BREAKS_AUTO, "CR, LF or CR LF from the device breaks a line"},
    {IDS_DUMP_EXISTS, "%1 already exists."},
    {IDS_DRAINING_ON_CLOSE, "Sending %1 bytes before closing..."},
    {IDS_TRANSMIT_PORT_CLOSED, "The port was closed: %1 of %2 bytes of the file went out."},
    {IDS_INVALID_BAUD,
     "Invalid baud rate!\nThe baud rate must be a whole number between 50 and 4000000."},
    {ID_SETTINGS_BACKSPACE_DEL, "Backspace in the terminal view sends DEL (0x7F)"},
    {ID_SETTINGS_BACKSPACE_BS, "Backspace in the terminal view sends BS (0x08)"},
    {IDS_APP_TITLE, "Wirelog"},
    {IDS_IDLE_MESSAGE, "Ready"},
    {ID_APP_ABOUT, "Display program information and version number\nAbout"},
    {ID_APP_EXIT, "Quit the application\nExit"},
    {ID_INDICATOR_CAPS, "CAP"},
    {ID_INDICATOR_NUM, "NUM"},
    {ID_INDICATOR_SCRL, "SCRL"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
};

constexpr bool SortedById() {
    for (std::size_t i = 1; i < std::size(kStrings); ++i)
        if (kStrings[i - 1].id >= kStrings[i].id) return false;
    return true;
}
static_assert(SortedById(), "the string table must stay sorted by id");

} // namespace

void res::InstallStrings() {
    fw::InstallStringTable(kStrings, IDS_APP_TITLE);
}
