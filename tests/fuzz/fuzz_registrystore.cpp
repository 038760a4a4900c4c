// The settings store's reader: a store that loads writes back as text that loads to the same
// store, and a save through the public calls keeps every key that was there.

#include "settings/registrystore.h"
#include "tests/fuzz/fuzzcheck.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

std::string g_store;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/wirelog-fuzz-store-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    g_store = std::string(dir) + "/registry.reg";
    setenv("WIRELOG_REGISTRY", g_store.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto saved = settings::detail::Rewrite(text);
    if (!saved) return 0;
    const auto again = settings::detail::Rewrite(*saved);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *saved);

    // Through the file: a value set in a new key keeps every section that was there.
    {
        std::ofstream out(g_store, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
    }
    settings::RegKey key;
    FUZZ_CHECK(settings::CreateKey("HKEY_USERS\\Fuzz\\Probe", key) == settings::RegStatus::Ok);
    const std::uint32_t one = 1;
    FUZZ_CHECK(settings::SetValue(key, "v", settings::TypeDword, &one, sizeof one) ==
               settings::RegStatus::Ok);
    FUZZ_CHECK(settings::CloseKey(key) == settings::RegStatus::Ok);
    const std::string after = ReadFile(g_store);
    const auto reread = settings::detail::Rewrite(after);
    FUZZ_CHECK(reread.has_value() && *reread == after);
    std::size_t at = 0;
    while ((at = saved->find("\n[", at)) != std::string::npos) {
        const std::size_t end = saved->find('\n', at + 1);
        FUZZ_CHECK(after.find(saved->substr(at, end - at + 1)) != std::string::npos);
        at = end;
    }
    unlink(g_store.c_str());
    return 0;
}
