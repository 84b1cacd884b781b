// Text composed in a buffer the caller owns, without allocating and without the C library's
// formatting: the way the crash handler builds every line it writes, since a signal handler may
// call neither malloc nor stdio. What does not fit is dropped at the end, and the buffer always
// holds a NUL after the text. Not thread-safe; one owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Norik {

class FixedText {
public:
    // capacity counts the terminating NUL; it must be at least 1.
    FixedText(char* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) { m_buffer[0] = '\0'; }

    FixedText& Append(std::string_view text) {
        // The text may come from this very buffer (a copy of an earlier part), so copy forwards
        // one character at a time: the source always lies before the end being written.
        for (const char c : text) Append(c);
        return *this;
    }

    FixedText& Append(char c) {
        if (m_size + 1 < m_capacity) {
            m_buffer[m_size++] = c;
            m_buffer[m_size] = '\0';
        } else {
            m_overflowed = true;
        }
        return *this;
    }

    // Hexadecimal with at least minDigits digits (zeros in front), more when the value needs them.
    FixedText& AppendHex(std::uint64_t value, int minDigits, bool upperCase) {
        const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
        char reversed[16];
        int count = 0;
        do {
            reversed[count++] = digits[value & 0xF];
            value >>= 4;
        } while (value != 0);
        for (int i = count; i < minDigits; ++i) Append('0');
        while (count > 0) Append(reversed[--count]);
        return *this;
    }

    FixedText& AppendDecimal(std::int64_t value) {
        std::uint64_t magnitude = static_cast<std::uint64_t>(value);
        if (value < 0) {
            Append('-');
            magnitude = 0 - magnitude;
        }
        char reversed[20];
        int count = 0;
        do {
            reversed[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        while (count > 0) Append(reversed[--count]);
        return *this;
    }

    // Drops everything after the first size characters.
    void Truncate(std::size_t size) {
        if (size < m_size) {
            m_size = size;
            m_buffer[m_size] = '\0';
        }
    }

    std::string_view view() const { return {m_buffer, m_size}; }
    const char* c_str() const { return m_buffer; }
    std::size_t size() const { return m_size; }
    // True when some text did not fit.
    bool overflowed() const { return m_overflowed; }

private:
    char* m_buffer;
    std::size_t m_capacity;
    std::size_t m_size = 0;
    bool m_overflowed = false;
};

}  // namespace Norik
