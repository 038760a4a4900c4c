#include "framework/stringtable.h"

#include <algorithm>

namespace fw {
namespace {

std::span<const StringEntry> g_table;
unsigned g_appTitleId = 0;

} // namespace

void InstallStringTable(std::span<const StringEntry> table, unsigned appTitleId) {
    g_table = table;
    g_appTitleId = appTitleId;
}

std::string AppTitle() {
    return LoadString(g_appTitleId);
}

std::string LoadString(unsigned id) {
    const auto table = g_table;
    const auto it = std::lower_bound(table.begin(), table.end(), id,
                                     [](const StringEntry& e, unsigned v) { return e.id < v; });
    if (it == table.end() || it->id != id) return {};
    return it->text;
}

std::string LoadStringLine(unsigned id, int line) {
    const std::string text = LoadString(id);
    std::size_t begin = 0;
    for (int i = 0; i < line; ++i) {
        begin = text.find('\n', begin);
        if (begin == std::string::npos) return {};
        ++begin;
    }
    const std::size_t end = text.find('\n', begin);
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string FormatString(unsigned id, std::initializer_list<std::string_view> args) {
    const std::string text = LoadString(id);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t index = i + 1 < text.size() ? std::size_t(text[i + 1] - '1') : 9;
        if (text[i] == '%' && index < args.size()) {
            out += *(args.begin() + index);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace fw
