// The settings kept between runs, read while the main window is made and written when
// it closes.

#include "comm/portmap.h"
#include "framework/msgbox.h"
#include "mainframe/mainframe.h"
#include "settings/registrystore.h"

#include <array>
#include <cstring>

namespace {

constexpr const char* kSettingsKey = "HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog\\Settings";
// Both strings are kept in at most this many bytes, in a buffer one longer for the terminator.
constexpr std::uint32_t kStringCapacity = 19;

// A numeric setting: how to read it for saving, and how to apply a stored number.
struct NumberSetting {
    const char* name;
    std::int32_t (*read)(CMainFrame&);
    void (*apply)(CMainFrame&, std::int32_t);
};

struct TextSetting {
    const char* name;
    std::string (*read)(CMainFrame&);
    void (*apply)(CMainFrame&, const std::string&);
};

// The 16-bit properties are widened with their sign and take back the low 16 bits; the
// control's booleans are saved as 0 or 1 and any non-zero number turns them on; the
// program's own flags are kept as they are held.
const NumberSetting kNumbers[] = {
    {"Echo", [](CMainFrame& f) { return f.m_wndEdit.m_bEcho; },
     [](CMainFrame& f, std::int32_t v) { f.m_wndEdit.m_bEcho = v; }},
    {"DTREnable", [](CMainFrame& f) -> std::int32_t { return f.m_wndComm.GetDTREnable() ? 1 : 0; },
     [](CMainFrame& f, std::int32_t v) { f.m_wndComm.SetDTREnable(v != 0); }},
    {"RTSEnable", [](CMainFrame& f) -> std::int32_t { return f.m_wndComm.GetRTSEnable() ? 1 : 0; },
     [](CMainFrame& f, std::int32_t v) { f.m_wndComm.SetRTSEnable(v != 0); }},
    {"HEXViewing", [](CMainFrame& f) { return f.GetHexView(); },
     [](CMainFrame& f, std::int32_t v) { f.SetHexView(v); }},
    {"CommPort", [](CMainFrame& f) -> std::int32_t { return f.m_wndComm.GetCommPort(); },
     [](CMainFrame& f, std::int32_t v) { f.m_wndComm.SetCommPort(static_cast<short>(v)); }},
    {"InputLen", [](CMainFrame& f) -> std::int32_t { return f.m_wndComm.GetInputLen(); },
     [](CMainFrame& f, std::int32_t v) { f.m_wndComm.SetInputLen(static_cast<short>(v)); }},
    {"RThreshold", [](CMainFrame& f) -> std::int32_t { return f.m_wndComm.GetRThreshold(); },
     [](CMainFrame& f, std::int32_t v) { f.m_wndComm.SetRThreshold(static_cast<short>(v)); }},
    {"SThreshold", [](CMainFrame& f) -> std::int32_t { return f.m_wndComm.GetSThreshold(); },
     [](CMainFrame& f, std::int32_t v) { f.m_wndComm.SetSThreshold(static_cast<short>(v)); }},
    {"Handshaking", [](CMainFrame& f) { return f.m_wndComm.GetHandshaking(); },
     [](CMainFrame& f, std::int32_t v) { f.m_wndComm.SetHandshaking(v); }},
    // Absent from older files: the default (on) stays.
    {"Reconnect", [](CMainFrame& f) -> std::int32_t { return f.m_bReconnect ? 1 : 0; },
     [](CMainFrame& f, std::int32_t v) { f.m_bReconnect = v != 0; }},
    // The line options: a number out of range keeps the default.
    {"TimeStamps", [](CMainFrame& f) -> std::int32_t { return f.m_bTimeStamps ? 1 : 0; },
     [](CMainFrame& f, std::int32_t v) {
         f.m_bTimeStamps = v != 0;
         f.m_wndEdit.setTimeStamps(v != 0);
     }},
    {"EnterSends", [](CMainFrame& f) { return static_cast<std::int32_t>(f.m_wndEdit.m_enterSends); },
     [](CMainFrame& f, std::int32_t v) {
         if (v >= 0 && v <= 2) f.m_wndEdit.m_enterSends = static_cast<terminal::EnterSends>(v);
     }},
    {"LineBreaks", [](CMainFrame& f) { return static_cast<std::int32_t>(f.m_textBreaks.mode); },
     [](CMainFrame& f, std::int32_t v) {
         if (v >= 0 && v <= 2) f.m_textBreaks = {static_cast<render::LineBreaks>(v), false};
     }},
};

const TextSetting kTexts[] = {
    {"Settings", [](CMainFrame& f) { return f.m_wndComm.GetSettings(); },
     [](CMainFrame& f, const std::string& v) { f.m_wndComm.SetSettings(v); }},
    {"ParityReplace", [](CMainFrame& f) { return f.m_wndComm.GetParityReplace(); },
     [](CMainFrame& f, const std::string& v) { f.m_wndComm.SetParityReplace(v); }},
};

// Applies one stored value; a value the control refuses is skipped so that a damaged store
// never keeps the program from starting.
template <class Apply> void ApplySkippingRefusals(Apply&& apply) {
    try {
        apply();
    } catch (const fw::ControlError&) {
    }
}

// A port that stands for a device only in this run (given by path on the command line) would
// lead nowhere next time: the store keeps the port it had.
bool KeptForThisRunOnly(CMainFrame& frame, const NumberSetting& setting) {
    return std::strcmp(setting.name, "CommPort") == 0 &&
           comm::IsRunOnlyPort(frame.m_wndComm.GetCommPort());
}

} // namespace

long CMainFrame::LoadSettings() {
    settings::RegKey key;
    const auto opened = settings::OpenKey(kSettingsKey, key);
    if (opened != settings::RegStatus::Ok) return static_cast<long>(opened);

    for (const NumberSetting& setting : kNumbers) {
        std::uint32_t value = 0;
        std::uint32_t size = sizeof value;
        std::uint32_t type = 0;
        // A number stored in fewer than four bytes is skipped rather than half-read.
        if (settings::QueryValue(key, setting.name, &type, &value, &size) !=
                settings::RegStatus::Ok ||
            size != sizeof value)
            continue;
        ApplySkippingRefusals([&] { setting.apply(*this, static_cast<std::int32_t>(value)); });
    }
    for (const TextSetting& setting : kTexts) {
        std::array<char, kStringCapacity + 1> buffer{};
        std::uint32_t size = kStringCapacity;
        std::uint32_t type = 0;
        if (settings::QueryValue(key, setting.name, &type, buffer.data(), &size) !=
            settings::RegStatus::Ok)
            continue;
        const std::string text(buffer.data(), ::strnlen(buffer.data(), kStringCapacity));
        ApplySkippingRefusals([&] { setting.apply(*this, text); });
    }
    settings::CloseKey(key);
    return 0;
}

void CMainFrame::SaveSettings() {
    settings::RegKey key;
    settings::RegStatus status = settings::CreateKey(kSettingsKey, key);
    if (status == settings::RegStatus::Ok) {
        for (const NumberSetting& setting : kNumbers) {
            if (KeptForThisRunOnly(*this, setting)) continue;
            const auto value = static_cast<std::uint32_t>(setting.read(*this));
            settings::SetValue(key, setting.name, settings::TypeDword, &value, sizeof value);
        }
        for (const TextSetting& setting : kTexts) {
            // A longer text is cut to what the stored form holds.
            std::string text = setting.read(*this);
            if (text.size() > kStringCapacity) text.resize(kStringCapacity);
            settings::SetValue(key, setting.name, settings::TypeBinary, text.data(),
                               static_cast<std::uint32_t>(text.size()));
        }
        status = settings::CloseKey(key);
    }
    // The settings go only here, so a store that cannot be written must not pass unnoticed.
    if (status != settings::RegStatus::Ok)
        fw::MessageBox("The settings could not be saved to " + settings::StorePath() + ": " +
                           settings::StatusText(status) + ".",
                       fw::Buttons::Ok, fw::Icon::Stop);
}
