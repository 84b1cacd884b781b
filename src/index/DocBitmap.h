// A set of document numbers as one bit per possible number (65,536 bits, 8 KiB).
//
// Document numbers are signed 16-bit; bit (number XOR 0x8000) stands for a number, so walking the
// bits upwards yields the numbers in ascending signed order. Unions and intersections of posting
// lists through a bitmap cost time linear in the postings plus one pass over 1,024 words, however
// many lists take part. Plain value type; no allocation after construction; any thread.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

namespace Norik {

class DocBitmap {
public:
    static constexpr std::size_t kWords = 65536 / 64;

    void Reset() { m_words.fill(0); }

    void Set(std::int16_t doc) {
        const unsigned bit = BitOf(doc);
        m_words[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
    void SetAll(std::span<const std::int16_t> docs) {
        for (const std::int16_t doc : docs) Set(doc);
    }
    bool Test(std::int16_t doc) const {
        const unsigned bit = BitOf(doc);
        return (m_words[bit >> 6] >> (bit & 63)) & 1u;
    }

    // Keeps only the numbers present in both; true when any remain.
    bool IntersectWith(const DocBitmap& other) {
        std::uint64_t any = 0;
        for (std::size_t i = 0; i < kWords; ++i) any |= (m_words[i] &= other.m_words[i]);
        return any != 0;
    }
    void UniteWith(const DocBitmap& other) {
        for (std::size_t i = 0; i < kWords; ++i) m_words[i] |= other.m_words[i];
    }

    bool Any() const {
        for (const std::uint64_t word : m_words)
            if (word != 0) return true;
        return false;
    }
    std::size_t Count() const {
        std::size_t count = 0;
        for (const std::uint64_t word : m_words) count += static_cast<std::size_t>(std::popcount(word));
        return count;
    }

    // The numbers, ascending in signed order.
    std::vector<std::int16_t> ToList() const {
        std::vector<std::int16_t> list;
        list.reserve(Count());
        for (std::size_t i = 0; i < kWords; ++i) {
            std::uint64_t word = m_words[i];
            while (word != 0) {
                const unsigned bit = static_cast<unsigned>(i * 64) + static_cast<unsigned>(std::countr_zero(word));
                list.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(bit ^ 0x8000u)));
                word &= word - 1;
            }
        }
        return list;
    }

private:
    static unsigned BitOf(std::int16_t doc) { return static_cast<std::uint16_t>(doc) ^ 0x8000u; }

    std::array<std::uint64_t, kWords> m_words{};
};

}  // namespace Norik
