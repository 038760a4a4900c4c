// The settings store's text format: a document that parses is written back as text that
// parses to the same text again, and adding a value in a new key, as a save does, keeps every
// section that was there.

#include "settings/registryformat.h"
#include "tests/fuzz/fuzzcheck.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::optional<std::string> Rewrite(std::string_view text) {
    const auto doc = settings::ParseDocument(text);
    if (!doc) return std::nullopt;
    return settings::SerializeDocument(*doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto doc = settings::ParseDocument(text);
    if (!doc) return 0;
    const std::string saved = settings::SerializeDocument(*doc);
    const auto again = Rewrite(saved);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == saved);

    // A value set in a new key, as a save applies it: every section that was there stays.
    const std::string probe = "HKEY_USERS\\Fuzz\\Probe";
    settings::EnsureKey(*doc, probe, true);
    settings::RegSection* section = settings::FindSection(*doc, probe);
    FUZZ_CHECK(section != nullptr);
    settings::PutValue(section->values, {"v", settings::TypeDword, std::string("\1\0\0\0", 4)});
    FUZZ_CHECK(settings::KeyExists(*doc, probe) && settings::KeyExists(*doc, "HKEY_USERS\\Fuzz"));
    const std::string after = settings::SerializeDocument(*doc);
    const auto reread = Rewrite(after);
    FUZZ_CHECK(reread.has_value() && *reread == after);
    std::size_t at = 0;
    while ((at = saved.find("\n[", at)) != std::string::npos) {
        const std::size_t end = saved.find('\n', at + 1);
        FUZZ_CHECK(after.find(saved.substr(at, end - at + 1)) != std::string::npos);
        at = end;
    }
    return 0;
}
