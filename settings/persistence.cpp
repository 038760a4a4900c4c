#include "settings/persistence.h"

#include "framework/errors.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "res/resource.h"
#include "settings/registrystore.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace settings {
namespace {

constexpr const char* kSettingsKey = "HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog\\Settings";

// Applies one stored value; a value the control refuses is skipped.
template <class Apply> void ApplySkippingRefusals(Apply&& apply) {
    try {
        apply();
    } catch (const fw::ControlError&) {
    }
}

void LoadNumber(RegKey& key, const NumberSetting& setting) {
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    std::uint32_t type = 0;
    // A number stored in fewer than four bytes is skipped rather than half-read.
    if (QueryValue(key, setting.name, &type, &value, &size) != RegStatus::Ok ||
        size != sizeof value)
        return;
    ApplySkippingRefusals([&] { setting.apply(static_cast<std::int32_t>(value)); });
}

void LoadText(RegKey& key, const TextSetting& setting) {
    // A buffer one longer than the capacity, for the terminator.
    std::array<char, 256> buffer{};
    const std::uint32_t capacity = std::min<std::uint32_t>(setting.capacity, 255);
    std::uint32_t size = capacity;
    std::uint32_t type = 0;
    if (QueryValue(key, setting.name, &type, buffer.data(), &size) != RegStatus::Ok) return;
    const std::string text(buffer.data(), ::strnlen(buffer.data(), capacity));
    ApplySkippingRefusals([&] { setting.apply(text); });
}

void LoadLongText(RegKey& key, const LongTextSetting& setting) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (QueryValue(key, setting.name, &type, nullptr, &size) != RegStatus::Ok) return;
    // A string value ends with its terminator; anything else under this name is damage.
    if (type != TypeString || size == 0 || size - 1 > setting.maxSize) return;
    std::string text(size, '\0');
    if (QueryValue(key, setting.name, &type, text.data(), &size) != RegStatus::Ok) return;
    if (text.back() != '\0') return;
    text.pop_back();
    if (!IsStorableText(text, setting.maxSize)) return;
    ApplySkippingRefusals([&] { setting.apply(text); });
}

void SaveLongText(RegKey& key, const LongTextSetting& setting) {
    std::string text = setting.read();
    if (!IsStorableText(text, setting.maxSize)) text.clear();
    text += '\0';
    SetValue(key, setting.name, TypeString, text.data(), static_cast<std::uint32_t>(text.size()));
}

} // namespace

bool IsStorableText(std::string_view text, std::size_t maxSize) {
    if (text.size() > maxSize) return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) return false;
    }
    return true;
}

long LoadSettings(std::span<const NumberSetting> numbers, std::span<const TextSetting> texts,
                  std::span<const LongTextSetting> longTexts) {
    RegKey key;
    const auto opened = OpenKey(kSettingsKey, key);
    if (opened != RegStatus::Ok) return static_cast<long>(opened);
    for (const NumberSetting& setting : numbers)
        LoadNumber(key, setting);
    for (const TextSetting& setting : texts)
        LoadText(key, setting);
    for (const LongTextSetting& setting : longTexts)
        LoadLongText(key, setting);
    CloseKey(key);
    return 0;
}

void SaveSettings(std::span<const NumberSetting> numbers, std::span<const TextSetting> texts,
                  std::span<const LongTextSetting> longTexts) {
    RegKey key;
    RegStatus status = CreateKey(kSettingsKey, key);
    if (status == RegStatus::Ok) {
        for (const NumberSetting& setting : numbers) {
            const std::optional<std::int32_t> read = setting.read();
            if (!read) continue;
            const auto value = static_cast<std::uint32_t>(*read);
            SetValue(key, setting.name, TypeDword, &value, sizeof value);
        }
        for (const TextSetting& setting : texts) {
            // A longer text is cut to what the stored form holds.
            std::string text = setting.read();
            if (text.size() > setting.capacity) text.resize(setting.capacity);
            SetValue(key, setting.name, TypeBinary, text.data(),
                     static_cast<std::uint32_t>(text.size()));
        }
        for (const LongTextSetting& setting : longTexts)
            SaveLongText(key, setting);
        status = CloseKey(key);
    }
    if (status != RegStatus::Ok)
        fw::MessageBox(fw::FormatString(IDS_SETTINGS_NOT_SAVED, {StorePath(), StatusText(status)}),
                       fw::Buttons::Ok, fw::Icon::Stop);
}

} // namespace settings
