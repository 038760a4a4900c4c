#include "transfer/protocol/blocks.h"

#include <charconv>

namespace protocol {

std::string CancelSequence() {
    return std::string(8, char(kCan));
}

std::uint16_t Crc16(std::string_view data) {
    std::uint16_t crc = 0;
    for (unsigned char b : data) {
        crc ^= std::uint16_t(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
    }
    return crc;
}

std::uint8_t Checksum(std::string_view data) {
    std::uint8_t sum = 0;
    for (unsigned char b : data)
        sum = std::uint8_t(sum + b);
    return sum;
}

std::string MakeBlock(std::uint32_t number, std::string_view data, bool crc) {
    const std::size_t size = data.size() > 128 ? 1024 : 128;
    std::string block;
    block.reserve(size + 5);
    block += char(size == 1024 ? kStx : kSoh);
    block += char(number & 0xFF);
    block += char(~number & 0xFF);
    std::string body(data.substr(0, size));
    body.resize(size, char(kSub));
    block += body;
    if (crc) {
        const std::uint16_t c = Crc16(body);
        block += char(c >> 8);
        block += char(c & 0xFF);
    } else {
        block += char(Checksum(body));
    }
    return block;
}

std::string MakeHeader(const FileInfo& file) {
    std::string h = file.name;
    h += '\0';
    if (file.size) {
        h += std::to_string(*file.size);
        char oct[24];
        const auto r = std::to_chars(oct, oct + sizeof oct, file.mtime > 0 ? file.mtime : 0, 8);
        h += ' ';
        h.append(oct, r.ptr);
        h += " 100644";
    }
    h += '\0';
    return h;
}

namespace {

template <typename T>
std::optional<T> Number(std::string_view field, int base) {
    T value{};
    const auto r = std::from_chars(field.data(), field.data() + field.size(), value, base);
    if (r.ec != std::errc() || r.ptr == field.data()) return std::nullopt;
    return value;
}

std::string_view Field(std::string_view& rest) {
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    const std::size_t end = rest.find_first_of(std::string_view(" \0", 2));
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos || rest[end] == '\0' ? std::string_view()
                                                              : rest.substr(end);
    return field;
}

} // namespace

FileInfo ParseHeader(std::string_view data) {
    FileInfo file;
    const std::size_t nul = data.find('\0');
    file.name = std::string(data.substr(0, nul));
    if (nul == std::string_view::npos) return file;
    std::string_view rest = data.substr(nul + 1);
    file.size = Number<std::uint64_t>(Field(rest), 10);
    file.mtime = Number<std::int64_t>(Field(rest), 8).value_or(0);
    return file;
}

std::string GroupDigits(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(std::size_t(at), ",");
    return digits;
}

} // namespace protocol

#include "transfer/protocol/events.h"

namespace protocol {

std::string AfterBytes(std::uint64_t done, std::optional<std::uint64_t> total) {
    std::string text = "after " + GroupDigits(done);
    if (total) text += " of " + GroupDigits(*total);
    return text + " bytes";
}

} // namespace protocol
