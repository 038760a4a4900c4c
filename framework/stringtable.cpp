#include "framework/stringtable.h"

#include <algorithm>

namespace fw {

std::string LoadString(unsigned id) {
    const auto table = StringTable();
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

} // namespace fw
