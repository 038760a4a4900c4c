// What the frame keeps between runs, and where each stored value goes back to.

#include "settings/persistence.h"
#include "comm/portmap.h"
#include "framework/errors.h"
#include "mainframe/mainframe.h"

#include <vector>

using settings::LongTextSetting;
using settings::NumberSetting;
using settings::TextSetting;

// Each stored value with where it comes from and goes back to, among the frame's members.
struct CMainFrame::StoredValues {
    static std::vector<NumberSetting> Numbers(CMainFrame& f);
    static std::vector<TextSetting> Texts(CMainFrame& f);
    static std::vector<LongTextSetting> LongTexts(CMainFrame& f, std::vector<std::string>& history,
                                                  settings::Macros& macros);
};

// The 16-bit properties are widened with their sign and take back the low 16 bits; the
// control's booleans are saved as 0 or 1 and any non-zero number turns them on; the
// program's own flags are kept as they are held.
std::vector<NumberSetting> CMainFrame::StoredValues::Numbers(CMainFrame& f) {
    CCommCtrl& c = f.m_wndComm;
    CTermEdit& e = f.m_wndEdit;
    const auto flag = [](bool on) -> std::int32_t { return on ? 1 : 0; };
    return {
        {"Echo", [&e] { return e.m_bEcho; }, [&e](std::int32_t v) { e.m_bEcho = v; }},
        {"DTREnable", [&c, flag] { return flag(c.GetDTREnable()); },
         [&c](std::int32_t v) { c.SetDTREnable(v != 0); }},
        {"RTSEnable", [&c, flag] { return flag(c.GetRTSEnable()); },
         [&c](std::int32_t v) { c.SetRTSEnable(v != 0); }},
        {"HEXViewing", [&f] { return f.GetHexView(); }, [&f](std::int32_t v) { f.SetHexView(v); }},
        {"Terminal", [&f] { return f.m_bTerminal; }, [&f](std::int32_t v) { f.m_bTerminal = v != 0; }},
        // A port that stands for a device only in this run (given by path on the command line)
        // would lead nowhere next time: the store keeps the port it had.
        {"CommPort",
         [&c]() -> std::optional<std::int32_t> {
             if (comm::IsRunOnlyPort(c.GetCommPort())) return std::nullopt;
             return c.GetCommPort();
         },
         [&c](std::int32_t v) { c.SetCommPort(static_cast<short>(v)); }},
        {"InputLen", [&c] { return std::int32_t{c.GetInputLen()}; },
         [&c](std::int32_t v) { c.SetInputLen(static_cast<short>(v)); }},
        {"RThreshold", [&c] { return std::int32_t{c.GetRThreshold()}; },
         [&c](std::int32_t v) { c.SetRThreshold(static_cast<short>(v)); }},
        {"SThreshold", [&c] { return std::int32_t{c.GetSThreshold()}; },
         [&c](std::int32_t v) { c.SetSThreshold(static_cast<short>(v)); }},
        {"Handshaking", [&c] { return c.GetHandshaking(); },
         [&c](std::int32_t v) { c.SetHandshaking(v); }},
        // Absent from older files: the default (on) stays.
        {"Reconnect", [&f, flag] { return flag(f.m_bReconnect); },
         [&f](std::int32_t v) { f.m_bReconnect = v != 0; }},
        // The line options: a number out of range keeps the default.
        {"TimeStamps", [&f, flag] { return flag(f.m_bTimeStamps); },
         [&f, &e](std::int32_t v) {
             f.m_bTimeStamps = v != 0;
             e.setTimeStamps(v != 0);
         }},
        {"EnterSends", [&e] { return static_cast<std::int32_t>(e.m_enterSends); },
         [&e](std::int32_t v) {
             if (v >= 0 && v <= 2) e.m_enterSends = static_cast<terminal::EnterSends>(v);
         }},
        {"CharacterSet", [&e] { return static_cast<std::int32_t>(e.characterSet()); },
         [&e](std::int32_t v) {
             if (v >= 0 && v <= 1) e.setCharacterSet(static_cast<terminal::CharacterSet>(v));
         }},
        // A size out of range keeps the default.
        {"ScreenSize", [&e] { return static_cast<std::int32_t>(e.screenSizeKB()); },
         [&e](std::int32_t v) {
             if (v >= 16 && v <= 262144) e.setScreenSizeKB(static_cast<std::size_t>(v));
         }},
        // The size the text is shown at, zoom included.
        {"FontSize", [&e] { return static_cast<std::int32_t>(e.font().pointSize()); },
         [&e](std::int32_t v) {
             if (v < terminal::kSmallestPointSize || v > terminal::kLargestPointSize) return;
             QFont font = e.baseFont();
             font.setPointSize(v);
             e.setBaseFont(font);
         }},
        {"LineBreaks", [&f] { return static_cast<std::int32_t>(f.session().lineBreaks()); },
         [&f](std::int32_t v) {
             if (v >= 0 && v <= 2) f.session().setLineBreaks(static_cast<terminal::LineBreaks>(v));
         }},
        // The send bar's and the macro bar's own: shown or not, and how the bar sends.
        {"SendBar", [&f, flag] { return flag(f.m_sendDock->isVisibleTo(&f)); },
         [&f](std::int32_t v) { f.m_sendDock->setVisible(v != 0); }},
        {"MacroBar", [&f, flag] { return flag(f.m_macroDock->isVisibleTo(&f)); },
         [&f](std::int32_t v) { f.m_macroDock->setVisible(v != 0); }},
        {"SendLineEnd", [&f] { return static_cast<std::int32_t>(f.m_pSendBar->lineEnding()); },
         [&f](std::int32_t v) {
             f.m_pSendBar->setLineEnding(static_cast<transfer::LineEnding>(v));
         }},
        {"SendHex", [&f, flag] { return flag(f.m_pSendBar->isHex()); },
         [&f](std::int32_t v) { f.m_pSendBar->setHex(v != 0); }},
        {"PaceChar", [&f] { return f.m_pacing.charMs; },
         [&f](std::int32_t v) { f.m_pacing.charMs = settings::PacingDelay(v); }},
        {"PaceLine", [&f] { return f.m_pacing.lineMs; },
         [&f](std::int32_t v) { f.m_pacing.lineMs = settings::PacingDelay(v); }},
        {"BackspaceSends", [&f] { return static_cast<std::int32_t>(f.m_wndTerm.backspaceSends()); },
         [&f](std::int32_t v) {
             if (v >= 0 && v <= 1) f.m_wndTerm.setBackspaceSends(static_cast<terminal::BackspaceSends>(v));
         }},
        // A count out of range keeps the default.
        {"ScrollbackLines", [&f] { return static_cast<std::int32_t>(f.m_wndTerm.scrollbackLines()); },
         [&f](std::int32_t v) {
             if (v >= 1 && static_cast<std::size_t>(v) <= terminal::kScrollbackMax)
                 f.m_wndTerm.setScrollbackLines(static_cast<std::size_t>(v));
         }},
    };
}

std::vector<TextSetting> CMainFrame::StoredValues::Texts(CMainFrame& f) {
    CCommCtrl& c = f.m_wndComm;
    CTermEdit& e = f.m_wndEdit;
    return {
        // A family name is longer than the port texts: it keeps up to 63 bytes.
        {"FontFamily", [&e] { return e.baseFont().family().toStdString(); },
         [&e](const std::string& v) {
             if (v.empty()) return;
             QFont font = e.baseFont();
             font.setFamily(QString::fromStdString(v));
             e.setBaseFont(font);
         },
         63},
        // A stored line the control refuses is skipped, but never silently: the status bar
        // names it and what is used instead.
        {"Settings", [&c] { return c.GetSettings(); },
         [&f, &c](const std::string& v) {
             try {
                 c.SetSettings(v);
             } catch (const fw::ControlError& e) {
                 f.m_wndStatusBar.SetPaneText(0,
                                              e.description() + " Using " + c.GetSettings() + ".");
                 throw;
             }
         }},
        {"ParityReplace", [&c] { return c.GetParityReplace(); },
         [&c](const std::string& v) { c.SetParityReplace(v); }},
        // Where files were last received: a longer path is not worth keeping cut.
        {"ReceiveFolder", [&f] { return f.m_strReceiveFolder.size() <= 1023 ? f.m_strReceiveFolder : std::string(); },
         [&f](const std::string& v) { f.m_strReceiveFolder = v; }, 1023},
    };
}

// A sent line longer than this is not kept between runs (it stays in this run's history): the
// whole history then stays a small part of the store.
constexpr std::size_t kMaxStoredLine = 4096;

// The send history (oldest first, one value per line, every slot written so that a shorter
// history leaves no stale lines) and the macros' names and texts. A damaged value is skipped
// alone. Loading gathers into `history` and `macros`, which the caller applies afterwards.
std::vector<LongTextSetting> CMainFrame::StoredValues::LongTexts(
    CMainFrame& f, std::vector<std::string>& history, settings::Macros& macros) {
    std::vector<LongTextSetting> out;
    for (std::size_t i = 0; i < CSendBar::kHistoryLength; ++i)
        out.push_back({"SendHistory" + std::to_string(i + 1), kMaxStoredLine,
                       [&f, i] {
                           const auto& lines = f.m_pSendBar->history();
                           return i < lines.size() ? lines[i] : std::string();
                       },
                       [&history](const std::string& v) {
                           if (!v.empty()) history.push_back(v);
                       }});
    for (std::size_t i = 0; i < macros.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        out.push_back({"MacroName" + n, settings::kMaxMacroName,
                       [&f, i] { return f.m_macros[i].name; },
                       [&macros, i](const std::string& v) { macros[i].name = v; }});
        out.push_back({"MacroText" + n, settings::kMaxMacroText,
                       [&f, i] { return f.m_macros[i].text; },
                       [&macros, i](const std::string& v) { macros[i].text = v; }});
    }
    return out;
}

long CMainFrame::LoadSettings() {
    std::vector<std::string> history;
    settings::Macros macros = m_macros;
    const long status =
        settings::LoadSettings(StoredValues::Numbers(*this), StoredValues::Texts(*this),
                               StoredValues::LongTexts(*this, history, macros));
    if (status == 0) {
        m_pSendBar->setHistory(history);
        SetMacros(macros);
        SetPacing(m_pacing);
    }
    return status;
}

void CMainFrame::SaveSettings() {
    std::vector<std::string> unused;
    settings::Macros unusedMacros;
    settings::SaveSettings(StoredValues::Numbers(*this), StoredValues::Texts(*this),
                           StoredValues::LongTexts(*this, unused, unusedMacros));
}
