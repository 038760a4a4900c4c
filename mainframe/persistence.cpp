// What the frame keeps between runs, and where each stored value goes back to.

#include "settings/persistence.h"
#include "comm/portmap.h"
#include "framework/errors.h"
#include "mainframe/mainframe.h"

#include <vector>

namespace {

using settings::NumberSetting;
using settings::TextSetting;

// The 16-bit properties are widened with their sign and take back the low 16 bits; the
// control's booleans are saved as 0 or 1 and any non-zero number turns them on; the
// program's own flags are kept as they are held.
std::vector<NumberSetting> Numbers(CMainFrame& f) {
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
        {"LineBreaks", [&f] { return static_cast<std::int32_t>(f.session().lineBreaks()); },
         [&f](std::int32_t v) {
             if (v >= 0 && v <= 2) f.session().setLineBreaks(static_cast<terminal::LineBreaks>(v));
         }},
        {"BackspaceSends", [&f] { return static_cast<std::int32_t>(f.m_wndTerm.backspaceSends()); },
         [&f](std::int32_t v) {
             if (v >= 0 && v <= 1) f.m_wndTerm.setBackspaceSends(static_cast<terminal::BackspaceSends>(v));
         }},
    };
}

std::vector<TextSetting> Texts(CMainFrame& f) {
    CCommCtrl& c = f.m_wndComm;
    return {
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
    };
}

} // namespace

long CMainFrame::LoadSettings() {
    return settings::LoadSettings(Numbers(*this), Texts(*this));
}

void CMainFrame::SaveSettings() {
    settings::SaveSettings(Numbers(*this), Texts(*this));
}
