// Input generators for the hostile-input campaign: a seeded random source and mutators for XML texts
// (layouts, styles, "font.xml") and for image bytes. Everything is a pure function of the seed, so a
// case is replayed from its seed and number alone. Test code only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

// splitmix64: one stream per (campaign seed, case number).
class Rng {
  public:
    Rng(uint64_t seed, uint64_t caseNumber) : state_(seed * 0x9E3779B97F4A7C15ull ^ (caseNumber + 1)) {
        next();
    }
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (0 when n is 0).
    std::size_t below(std::size_t n) { return n ? static_cast<std::size_t>(next() % n) : 0; }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& items) {
        return items[below(items.size())];
    }

  private:
    uint64_t state_;
};

// Element names the loader knows, attribute names of the setter registry and the flag attributes.
const std::vector<std::string>& elementNames();
const std::vector<std::string>& attributeNames();
// Attribute values that setters and layout code are known to find hard.
std::string hostileValue(Rng& rng);

// One to `maxMutations` mutations of an XML text: unknown, repeated and nested elements, added and
// repeated attributes with hostile values, deep nesting, enormous or broken texts, truncation, flips.
std::string mutateXml(const std::string& seed, Rng& rng, int maxMutations = 4);

// Damaged image bytes: truncated, bit-flipped, header fields rewritten, or spliced.
std::string mutateImage(const std::string& seed, Rng& rng);

}  // namespace hostile
