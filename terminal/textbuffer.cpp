#include "terminal/textbuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace terminal {

namespace {

// Below this the ring is kept whatever the text's size: small rings are cheap.
constexpr std::size_t kSmallRing = 64 * 1024;

std::size_t PageSize() {
    static const std::size_t page = static_cast<std::size_t>(std::max(sysconf(_SC_PAGESIZE), 4096L));
    return page;
}

std::size_t RoundToPages(std::size_t n) {
    const std::size_t page = PageSize();
    return (std::max<std::size_t>(n, 1) + page - 1) / page * page;
}

// `capacity` bytes mapped twice in a row, or nullptr.
char* MapMirror(std::size_t capacity) {
    const int fd = memfd_create("wirelog-screen", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    char* area = nullptr;
    if (ftruncate(fd, static_cast<off_t>(capacity)) == 0) {
        void* span = mmap(nullptr, 2 * capacity, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (span != MAP_FAILED) {
            area = static_cast<char*>(span);
            for (char* half : {area, area + capacity}) {
                if (mmap(half, capacity, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
                    munmap(span, 2 * capacity);
                    area = nullptr;
                    break;
                }
            }
        }
    }
    ::close(fd);
    return area;
}

} // namespace

TextBuffer::~TextBuffer() { release(); }

void TextBuffer::release() {
    if (!m_base) return;
    if (m_mirrored)
        munmap(m_base, 2 * m_capacity);
    else
        std::free(m_base);
    m_base = nullptr;
    m_capacity = 0;
}

void TextBuffer::rebuild(std::size_t capacity) {
    capacity = RoundToPages(std::max(capacity, m_size));
    bool mirrored = true;
    char* base = MapMirror(capacity);
    if (!base) {
        mirrored = false;
        base = static_cast<char*>(std::malloc(capacity));
        if (!base) throw std::bad_alloc();
    }
    if (m_size > 0) std::memcpy(base, m_base + m_head, m_size);
    release();
    m_base = base;
    m_capacity = capacity;
    m_mirrored = mirrored;
    m_head = 0;
}

void TextBuffer::reserve(std::size_t bytes) {
    m_reserved = bytes;
    if (bytes > m_capacity)
        rebuild(bytes);
    else
        shrinkIfLoose();
}

void TextBuffer::shrinkIfLoose() {
    // Memory goes back once the text is a small part of a ring larger than was asked for.
    const std::size_t keep = std::max(m_reserved, kSmallRing);
    if (m_capacity > 2 * keep && m_size < m_capacity / 8) rebuild(std::max(2 * m_size, keep));
}

bool TextBuffer::aliases(std::string_view s) const {
    const std::size_t span = m_mirrored ? 2 * m_capacity : m_capacity;
    return m_base && !s.empty() && s.data() < m_base + span && s.data() + s.size() > m_base;
}

void TextBuffer::assign(std::string_view text) {
    if (aliases(text)) {
        const std::string copy(text);
        assign(copy);
        return;
    }
    m_size = 0;
    m_head = 0;
    replace(0, 0, text);
    shrinkIfLoose();
}

void TextBuffer::replace(std::size_t position, std::size_t removed, std::string_view inserted) {
    if (aliases(inserted)) {
        const std::string copy(inserted);
        replace(position, removed, copy);
        return;
    }
    position = std::min(position, m_size);
    removed = std::min(removed, m_size - position);
    const std::size_t size = m_size - removed + inserted.size();
    if (size > m_capacity) {
        // Grow by half again at least, so that a text growing a chunk at a time moves rarely.
        rebuild(std::max(size, m_capacity + m_capacity / 2));
    } else if (!m_mirrored && m_head + size > m_capacity) {
        std::memmove(m_base, m_base + m_head, m_size);
        m_head = 0;
    }
    char* text = m_base + m_head;
    const std::size_t tail = m_size - position - removed;
    if (tail > 0 && removed != inserted.size())
        std::memmove(text + position + inserted.size(), text + position + removed, tail);
    if (!inserted.empty()) std::memcpy(text + position, inserted.data(), inserted.size());
    m_size = size;
}

void TextBuffer::eraseFront(std::size_t n) {
    n = std::min(n, m_size);
    m_size -= n;
    m_head += n;
    if (m_mirrored && m_head >= m_capacity) m_head -= m_capacity;
    if (m_size == 0) m_head = 0;
    shrinkIfLoose();
}

} // namespace terminal
