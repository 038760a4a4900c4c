#pragma once
// The bytes of the block protocols: control characters, the two check sums, whole blocks,
// the batch header that names a file, and the texts the engines report. Pure functions.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace protocol {

inline constexpr unsigned char kSoh = 0x01; // a 128-byte block follows
inline constexpr unsigned char kStx = 0x02; // a 1024-byte block follows
inline constexpr unsigned char kEot = 0x04;
inline constexpr unsigned char kAck = 0x06;
inline constexpr unsigned char kNak = 0x15;
inline constexpr unsigned char kCan = 0x18;
inline constexpr unsigned char kSub = 0x1A; // pads the last block
inline constexpr unsigned char kCrcStart = 'C';

inline constexpr int kRetries = 10;              // tries per block before giving up
inline constexpr std::int64_t kStartMs = 60000;  // how long either side waits for the other
inline constexpr std::int64_t kBlockMs = 10000;  // how long a reply or a block may take
inline constexpr std::int64_t kCancelWaitMs = 1000; // a cancel waits this long for a reply
inline constexpr std::int64_t kStartRepeatMs = 3000; // a receiver repeats its start byte
inline constexpr std::int64_t kEndAckMs = 1000;      // the answer to the end of a batch
inline constexpr std::int64_t kPurgeQuietMs = 1000;  // line quiet before a NAK after noise
// A sender answers a start request this much later: receivers that set their line up right
// after asking drop what arrives meanwhile.
inline constexpr std::int64_t kSettleMs = 50;

// The cancel sequence: enough CANs that a receiver in any state sees two in a row.
std::string CancelSequence();

// CRC-16/XMODEM (polynomial 0x1021, start 0) and the 8-bit sum of the bytes.
std::uint16_t Crc16(std::string_view data);
std::uint8_t Checksum(std::string_view data);

// A whole block numbered `number` (mod 256): header, the data padded with 0x1A to 128 bytes
// (SOH) or 1024 (STX; when `data` is longer than 128), then CRC (big-endian) or checksum.
std::string MakeBlock(std::uint32_t number, std::string_view data, bool crc);

// The batch header a file is announced with: name NUL size SP mtime(octal) SP mode NUL.
struct FileInfo {
    std::string name;                   // as the sender gives it, unchecked
    std::optional<std::uint64_t> size;  // none when the header carries none
    std::int64_t mtime = 0;             // seconds since 1970, 0 when unknown
};
std::string MakeHeader(const FileInfo& file);
// Reads a header block's data. An empty name is the end of the batch. A size that is not a
// number is taken as unknown, never as 0.
FileInfo ParseHeader(std::string_view data);

// 12288 -> "12,288".
std::string GroupDigits(std::uint64_t n);

} // namespace protocol
