#pragma once
// The bytes of the screen's text, always one contiguous run, where cutting bytes off the
// front costs nothing however long the text is: they live in a ring whose pages are mapped
// twice in a row, so the run may wrap round the ring's end and still be read straight on.
// A trim of the oldest quarter of a 256 MB screen is then a change of one offset instead of a
// move of 192 MB that would hold the window for a tenth of a second.
//
// Pages are taken from the system as they are first written; the ring grows as the text does
// (room for `reserve` bytes can be asked for up front) and gives memory back once the text
// falls to a small part of it. Where the double mapping cannot be made, a plain buffer that
// moves its bytes on a trim does the same job.

#include <cstddef>
#include <string_view>

namespace terminal {

class TextBuffer {
public:
    TextBuffer() = default;
    ~TextBuffer();
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    std::string_view view() const { return {m_base + m_head, m_size}; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    char operator[](std::size_t i) const { return m_base[m_head + i]; }
    std::size_t capacity() const { return m_capacity; }

    // Makes room for `bytes`, so that the text moves no more until it passes them; memory
    // beyond them goes back once the text has shrunk well below.
    void reserve(std::size_t bytes);

    void assign(std::string_view text);
    // As std::string::replace: `removed` bytes at `position` give way to `inserted`.
    void replace(std::size_t position, std::size_t removed, std::string_view inserted);
    void eraseFront(std::size_t n);

private:
    void rebuild(std::size_t capacity);
    void shrinkIfLoose();
    void release();
    bool aliases(std::string_view s) const;

    char* m_base = nullptr;      // the ring, and right after it its mirror (when mirrored)
    std::size_t m_capacity = 0;  // bytes in the ring
    std::size_t m_head = 0;      // where the text starts, < m_capacity
    std::size_t m_size = 0;
    std::size_t m_reserved = 0;
    bool m_mirrored = false;
};

} // namespace terminal
