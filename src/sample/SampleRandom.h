// The random numbers of the sample generator: SplitMix64, fully defined here so that a seed gives
// the same base on every compiler and library (the standard distributions are not portable).
// A value type; one per thread.
#pragma once

#include <cstdint>
#include <vector>

namespace Norik {

class SampleRandom {
public:
    // A stream of its own for each (seed, stream) pair: the tables use stream 0, document i stream i + 1.
    SampleRandom(std::uint64_t seed, std::uint64_t stream)
        : m_state(seed * 0x9E3779B97F4A7C15ull ^ (stream + 1) * 0xD1B54A32D192ED03ull) {
        Next();
    }

    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound); bound > 0.
    std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }
    int Between(int low, int high) {
        return low + static_cast<int>(Below(static_cast<std::uint64_t>(std::int64_t{high} - low + 1)));
    }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    bool Chance(double probability) { return Unit() < probability; }
    // An index chosen with the given positive weights.
    int Weighted(const std::vector<int>& weights) {
        long long total = 0;
        for (const int w : weights) total += w;
        long long pick = static_cast<long long>(Below(static_cast<std::uint64_t>(total)));
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (pick < weights[i]) return static_cast<int>(i);
            pick -= weights[i];
        }
        return static_cast<int>(weights.size()) - 1;
    }
    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(items.size())];
    }

private:
    std::uint64_t m_state;
};

}  // namespace Norik
