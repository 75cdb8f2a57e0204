// The pack reader against archives the test writes itself: format rules, lookups and damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

#include "archive_builder.h"
#include "pack/pack_archive.h"

using packtest::ArchiveBuilder;
using packtest::Bytes;
using packtest::bytesOf;
using packtest::put32;

namespace {

constexpr std::size_t kUntouched = 0xDEADBEEF;

// Extracts name; the content and the reader's verdict, checked against each other: a buffer comes
// with Ok or Damaged, Ok exactly when the whole content came back, no buffer with Missing.
struct Extracted {
    bool found = false;
    Bytes content;
    PackResult result = PackResult::Ok;
};

Extracted extract(const PackArchive& archive, const char16_t* name) {
    Extracted result;
    std::size_t size = kUntouched;
    void* buffer = extractEntry(archive, name, &size, &result.result);
    if (!buffer) {
        EXPECT_EQ(size, kUntouched) << "size must stay untouched for a missing entry";
        EXPECT_EQ(result.result, PackResult::Missing);
        return result;
    }
    EXPECT_NE(size, kUntouched);
    const PackEntry* entry = archive.find(name);
    EXPECT_TRUE(entry && result.result != PackResult::Missing && result.result != PackResult::OutOfMemory);
    if (entry) {
        EXPECT_EQ(result.result == PackResult::Ok, size == entry->contentSize());
    }
    result.found = true;
    result.content.assign(static_cast<unsigned char*>(buffer), static_cast<unsigned char*>(buffer) + size);
    freeEntry(buffer);
    return result;
}

Bytes compressible(std::size_t size, unsigned seed = 1) {
    static const char* words[] = {"skin ", "layout ", "frame ", "button\n", "<xml/> ", "0123 "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        const char* w = words[rng() % 6];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(size);
    return out;
}

Bytes randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(rng());
    return out;
}

std::vector<std::u16string> names(const PackArchive& archive) {
    std::vector<std::u16string> out;
    for (const auto& entry : archive.entries()) out.push_back(entry.first);
    return out;
}

// A sound archive with three entries, used as the base of the damage tests.
Bytes threeEntries() {
    ArchiveBuilder b;
    b.stored(u"a.txt", bytesOf("alpha"));
    b.compressed(u"b.xml", compressible(3000));
    b.stored(u"c/d.png", randomBytes(100, 3));
    return b.finish();
}

}  // namespace

// --- Format rules ---

TEST(PackReader, DirectoryWithOnlyTheEndMarkerOpensEmpty) {
    Bytes block = ArchiveBuilder().finish();
    ASSERT_EQ(block.size(), 8u);
    auto archive = openPackArchive(block.data(), block.size());
    ASSERT_NE(archive, nullptr);
    EXPECT_FALSE(archive->isDamaged()) << archive->damage();
    EXPECT_TRUE(archive->entries().empty());
    EXPECT_FALSE(extract(*archive, u"font.xml").found);
    EXPECT_FALSE(extract(*archive, u"").found);
}

TEST(PackReader, StoredEntryComesBackByteForByte) {
    Bytes content = randomBytes(777, 7);
    ArchiveBuilder b;
    b.stored(u"font.xml", content);
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_FALSE(archive->isDamaged());
    Extracted e = extract(*archive, u"font.xml");
    ASSERT_TRUE(e.found);
    EXPECT_EQ(e.content, content);
    // The buffer is a copy: the reader never hands out the block itself.
    std::size_t size = 0;
    void* buffer = extractEntry(*archive, u"font.xml", &size);
    EXPECT_TRUE(buffer < block.data() || buffer >= block.data() + block.size());
    freeEntry(buffer);
    // The size out-parameter may be null.
    buffer = extractEntry(*archive, u"font.xml", nullptr);
    EXPECT_NE(buffer, nullptr);
    freeEntry(buffer);
}

TEST(PackReader, EmptyStoredEntryIsFoundWithSizeZero) {
    ArchiveBuilder b;
    b.stored(u"empty", {});
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    Extracted e = extract(*archive, u"empty");
    EXPECT_TRUE(e.found) << "an empty entry must not read as a missing one";
    EXPECT_TRUE(e.content.empty());
}

TEST(PackReader, CompressedEntryComesBackWithItsUnpackedSize) {
    Bytes text = compressible(200000, 2);
    Bytes noise = randomBytes(5000, 9);
    ArchiveBuilder b;
    b.compressed(u"no-marker.txt", text, false);
    b.compressed(u"marker.txt", text, true);
    b.compressed(u"noise.bin", noise, true);
    b.compressed(u"one", bytesOf("x"), false);
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_FALSE(archive->isDamaged()) << archive->damage();
    EXPECT_EQ(extract(*archive, u"no-marker.txt").content, text);
    EXPECT_EQ(extract(*archive, u"marker.txt").content, text);
    EXPECT_EQ(extract(*archive, u"noise.bin").content, noise);
    EXPECT_EQ(extract(*archive, u"one").content, bytesOf("x"));
}

TEST(PackReader, CompressedEntryDecodesWithTheDictionaryItsPropertiesName) {
    // Small dictionaries in the properties are honoured (4 KiB minimum), large ones cost nothing extra.
    Bytes text = compressible(50000, 5);
    for (std::uint32_t dictionary : {4096u, 1u << 20, 0xFFFFFFFFu}) {
        ArchiveBuilder b;
        Bytes data = packtest::lzmaProperties(dictionary);
        Bytes raw = packtest::lzmaStream(text, false);
        data.insert(data.end(), raw.begin(), raw.end());
        b.record(u"t", b.data(data), static_cast<std::uint32_t>(data.size()),
                 static_cast<std::uint32_t>(text.size()));
        Bytes block = b.finish();
        auto archive = openPackArchive(block.data(), block.size());
        EXPECT_EQ(extract(*archive, u"t").content, text) << "dictionary " << dictionary;
    }
}

TEST(PackReader, LaterRecordOfTheSameNameWins) {
    ArchiveBuilder b;
    b.stored(u"same", bytesOf("first"));
    b.stored(u"other", bytesOf("o"));
    b.compressed(u"same", bytesOf("second, compressed"));
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_EQ(archive->entries().size(), 2u);
    EXPECT_EQ(extract(*archive, u"same").content, bytesOf("second, compressed"));
}

TEST(PackReader, LookupIsExactAndCaseSensitive) {
    ArchiveBuilder b;
    b.stored(u"font.xml", bytesOf("f"));
    b.stored(u"bin/app.exe", bytesOf("e"));
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_TRUE(extract(*archive, u"font.xml").found);
    EXPECT_FALSE(extract(*archive, u"Font.xml").found);
    EXPECT_FALSE(extract(*archive, u"font.xm").found);
    EXPECT_FALSE(extract(*archive, u"font.xml ").found);
    EXPECT_TRUE(extract(*archive, u"bin/app.exe").found);
    EXPECT_FALSE(extract(*archive, u"bin\\app.exe").found);
    EXPECT_EQ(extractEntry(*archive, nullptr, nullptr), nullptr);
    PackResult result = PackResult::Ok;
    EXPECT_EQ(extractEntry(*archive, nullptr, nullptr, &result), nullptr);
    EXPECT_EQ(result, PackResult::Missing);
}

TEST(PackReader, BytesBeforeTheFirstEntryAreIgnored) {
    for (std::string_view prefix : {"", "pack-v1.1", "\xff\xff\xff\xff garbage"}) {
        ArchiveBuilder b(prefix);
        b.stored(u"a", bytesOf("A"));
        b.compressed(u"b", compressible(1000));
        Bytes block = b.finish();
        auto archive = openPackArchive(block.data(), block.size());
        EXPECT_FALSE(archive->isDamaged()) << prefix;
        EXPECT_EQ(extract(*archive, u"a").content, bytesOf("A"));
        EXPECT_EQ(extract(*archive, u"b").content, compressible(1000));
    }
}

TEST(PackReader, IndexOrdersNamesByUnsigned16BitUnits) {
    // U+1F600 is the surrogate pair D83D DE00, which orders before U+E000 and after ASCII.
    const std::u16string emoji = u"\U0001F600", privateUse = u"\uE000";
    ArchiveBuilder b;
    for (const std::u16string& n : {privateUse, emoji, std::u16string(u"ab"), std::u16string(u"a"),
                                    std::u16string(u"B"), std::u16string(u"中文/文件.txt")}) {
        b.stored(n, bytesOf("x"));
    }
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    std::vector<std::u16string> expected{u"B", u"a", u"ab", u"中文/文件.txt", emoji, privateUse};
    EXPECT_EQ(names(*archive), expected);
    EXPECT_TRUE(extract(*archive, emoji.c_str()).found);
}

TEST(PackReader, NameAreaRules) {
    ArchiveBuilder b;
    std::uint32_t data = b.data(bytesOf("content"));
    // Longest name: 1023 units and the NUL fill 2048 bytes.
    std::u16string longest(1023, u'n');
    b.record(longest, data, 7, 0);
    // Padding after the NUL may hold anything.
    b.rawRecord(16 + 8, data, 1, 0, ArchiveBuilder::scramble(std::u16string(u"p\0zz", 4)));
    // A length that is not a multiple of 4: the trailing half word is not part of the name.
    Bytes area = ArchiveBuilder::scramble(std::u16string(u"q\0", 2));
    area.push_back(0x41);
    area.push_back(0x00);
    b.rawRecord(16 + 6, data, 2, 0, area);
    // An empty name is a name.
    b.record(u"", data, 3, 0);
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_FALSE(archive->isDamaged()) << archive->damage();
    EXPECT_EQ(extract(*archive, longest.c_str()).content, bytesOf("content"));
    EXPECT_EQ(extract(*archive, u"p").content, bytesOf("c"));
    EXPECT_EQ(extract(*archive, u"q").content, bytesOf("co"));
    EXPECT_EQ(extract(*archive, u"").content, bytesOf("con"));
    EXPECT_EQ(archive->entries().size(), 4u);
}

TEST(PackReader, ConcurrentExtractionsAgree) {
    Bytes text = compressible(300000, 4);
    ArchiveBuilder b;
    b.compressed(u"t", text);
    b.stored(u"s", text);
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                std::size_t size = 0;
                void* buffer = extractEntry(*archive, t % 2 ? u"t" : u"s", &size);
                good[t] += buffer && size == text.size() && std::memcmp(buffer, text.data(), size) == 0;
                freeEntry(buffer);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good, std::vector<int>(4, 5));
}

// --- Damaged input: never read outside the block, keep what was sound, say so ---

TEST(PackReaderDamage, TooSmallBlocks) {
    unsigned char tiny[7] = {0};
    for (std::size_t size = 0; size < sizeof tiny; ++size) {
        auto archive = openPackArchive(tiny, size);
        ASSERT_NE(archive, nullptr);
        EXPECT_TRUE(archive->isDamaged()) << size;
        EXPECT_TRUE(archive->entries().empty());
    }
    auto archive = openPackArchive(nullptr, 100);
    EXPECT_TRUE(archive->isDamaged());
    EXPECT_FALSE(extract(*archive, u"a").found);
}

TEST(PackReaderDamage, EveryTruncationIsSafeAndReported) {
    // Each prefix is a separate heap copy so that a sanitizer sees any read past its end.
    Bytes full = threeEntries();
    for (std::size_t size = 0; size < full.size(); ++size) {
        std::unique_ptr<unsigned char[]> copy(new unsigned char[size + 1]);
        std::memcpy(copy.get(), full.data(), size);
        auto archive = openPackArchive(copy.get(), size);
        EXPECT_TRUE(archive->isDamaged()) << "prefix of " << size << " bytes";
        for (const auto& entry : archive->entries()) {
            std::size_t n = 0;
            freeEntry(extractEntry(*archive, entry.second, &n));
        }
    }
}

TEST(PackReaderDamage, DirectoryOffsetOutsideTheBlock) {
    Bytes block = threeEntries();
    for (std::uint32_t offset : {std::uint32_t(block.size()), std::uint32_t(block.size() - 3), 0x7FFFFFFFu,
                                 0x80000000u, 0xFFFFFFFFu}) {
        Bytes bad = block;
        std::uint32_t scrambled = offset ^ packtest::kKey;
        std::memcpy(bad.data() + bad.size() - 4, &scrambled, 4);  // little-endian hosts and targets only
        auto archive = openPackArchive(bad.data(), bad.size());
        EXPECT_TRUE(archive->isDamaged()) << offset;
        EXPECT_TRUE(archive->entries().empty()) << offset;
    }
}

TEST(PackReaderDamage, MalformedRecordStopsReadingButKeepsEarlierRecords) {
    struct Case {
        const char* what;
        std::function<void(ArchiveBuilder&, std::uint32_t data)> add;
    };
    const Case cases[] = {
        {"length between 0 and 16",
         [](ArchiveBuilder& b, std::uint32_t) {
             b.rawDirectory({8, 0, 0, 0, 1, 2, 3, 4});
         }},
        {"length 1",
         [](ArchiveBuilder& b, std::uint32_t) {
             b.rawDirectory({1, 0, 0, 0});
         }},
        {"huge length", [](ArchiveBuilder& b, std::uint32_t d) { b.rawRecord(0xFFFFFFF0u, d, 1, 0, {}); }},
        {"name area without NUL",
         [](ArchiveBuilder& b, std::uint32_t d) {
             b.rawRecord(16 + 8, d, 1, 0, ArchiveBuilder::scramble(u"abcd"));
         }},
        {"NUL only in the unscrambled half word",
         [](ArchiveBuilder& b, std::uint32_t d) {
             Bytes area = ArchiveBuilder::scramble(u"ab");
             area.push_back(0);
             area.push_back(0);
             b.rawRecord(16 + 6, d, 1, 0, area);
         }},
        {"name area over 2048 bytes",
         [](ArchiveBuilder& b, std::uint32_t d) {
             std::u16string name(1024, u'n');
             name.append(2, u'\0');
             b.rawRecord(16 + 2052, d, 1, 0, ArchiveBuilder::scramble(name));
         }},
    };
    for (const Case& c : cases) {
        ArchiveBuilder b;
        b.stored(u"kept", bytesOf("kept data"));
        std::uint32_t data = b.data(bytesOf("more"));
        c.add(b, data);
        b.stored(u"after", bytesOf("never reached"));
        Bytes block = b.finish();
        auto archive = openPackArchive(block.data(), block.size());
        EXPECT_TRUE(archive->isDamaged()) << c.what;
        EXPECT_FALSE(archive->damage().empty()) << c.what;
        EXPECT_EQ(names(*archive), std::vector<std::u16string>{u"kept"}) << c.what;
        EXPECT_EQ(extract(*archive, u"kept").content, bytesOf("kept data")) << c.what;
    }
}

TEST(PackReaderDamage, DirectoryRunningIntoTheTrailer) {
    // Without end marker; with half a length word; with a last record one byte past the directory.
    for (int variant = 0; variant < 3; ++variant) {
        ArchiveBuilder b;
        b.stored(u"a", bytesOf("A"));
        b.stored(u"b", bytesOf("B"));
        if (variant == 1)
            b.rawDirectory({0x20, 0});
        if (variant == 2)
            b.rawRecord(16 + 4 + 4 + 1, 0, 1, 0, ArchiveBuilder::scramble(u"z"));
        Bytes block = b.finish(variant == 2);
        auto archive = openPackArchive(block.data(), block.size());
        EXPECT_TRUE(archive->isDamaged()) << variant;
        EXPECT_EQ(names(*archive), (std::vector<std::u16string>{u"a", u"b"})) << variant;
    }
}

TEST(PackReaderDamage, EntryWithDataOutsideTheBlockIsNotIndexed) {
    ArchiveBuilder b;
    b.stored(u"good", bytesOf("good"));
    b.stored(u"dup", bytesOf("earlier"));
    std::uint32_t at = b.data(bytesOf("0123456789"));
    b.record(u"past-end", at, 0x10000, 0);
    b.record(u"wraps", 0xFFFFFFFFu, 2, 0);
    b.record(u"offset-past-end", 0x7FFFFFF0u, 0, 0);
    b.record(u"short-properties", at, 4, 100);
    b.record(u"dup", at, 0xFFFFFF00u, 0);
    b.stored(u"later", bytesOf("later"));
    // A range that ends exactly at the block's end is inside it; it may even overlap the directory.
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_TRUE(archive->isDamaged());
    EXPECT_EQ(names(*archive), (std::vector<std::u16string>{u"dup", u"good", u"later"}));
    EXPECT_EQ(extract(*archive, u"dup").content, bytesOf("earlier"));
    EXPECT_EQ(extract(*archive, u"later").content, bytesOf("later"));
    EXPECT_FALSE(extract(*archive, u"past-end").found);
}

TEST(PackReaderDamage, RangeEndingAtTheBlockEndIsAccepted) {
    // A record whose range covers the whole block, directory and trailer included, up to the last byte.
    const std::uint32_t total = 16 + 12 + 4 + 4;  // record with "whole" + NUL, end marker, trailer
    ArchiveBuilder b;
    b.record(u"whole", 0, total, 0);
    Bytes block = b.finish();
    ASSERT_EQ(block.size(), total);
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_FALSE(archive->isDamaged()) << archive->damage();
    EXPECT_EQ(extract(*archive, u"whole").content, block);

    ArchiveBuilder c;
    c.record(u"whole", 1, total, 0);
    block = c.finish();
    EXPECT_TRUE(openPackArchive(block.data(), block.size())->entries().empty()) << "one byte past the end";
}

TEST(PackReaderDamage, DamagedStreamYieldsWhatWasDecoded) {
    Bytes text = compressible(100000, 6);
    Bytes stream = packtest::lzmaProperties();
    Bytes raw = packtest::lzmaStream(text, false);
    stream.insert(stream.end(), raw.begin(), raw.end());

    ArchiveBuilder b;
    std::uint32_t at = b.data(stream);
    const auto storedSize = static_cast<std::uint32_t>(stream.size());
    const auto unpacked = static_cast<std::uint32_t>(text.size());
    b.record(u"truncated", at, storedSize / 2, unpacked);
    b.record(u"properties-only", at, 5, unpacked);
    b.record(u"claims-more", at, storedSize, unpacked + 5000);
    b.record(u"claims-less", at, storedSize, unpacked / 3);
    Bytes corrupt = stream;
    for (std::size_t i = 40; i < corrupt.size(); i += 97) corrupt[i] ^= 0x5A;
    b.record(u"corrupt", b.data(corrupt), storedSize, unpacked);
    Bytes badProps = stream;
    badProps[0] = 225;
    b.record(u"bad-properties", b.data(badProps), storedSize, unpacked);
    Bytes block = b.finish();
    auto archive = openPackArchive(block.data(), block.size());
    EXPECT_FALSE(archive->isDamaged()) << "stream damage is found only when extracting";

    Extracted e = extract(*archive, u"truncated");
    ASSERT_TRUE(e.found);
    EXPECT_GT(e.content.size(), 0u);
    EXPECT_LT(e.content.size(), text.size());
    EXPECT_TRUE(std::equal(e.content.begin(), e.content.end(), text.begin()))
        << "decoded part must be correct";
    EXPECT_EQ(e.result, PackResult::Damaged);

    e = extract(*archive, u"properties-only");
    EXPECT_TRUE(e.found);
    EXPECT_TRUE(e.content.empty());
    EXPECT_EQ(e.result, PackResult::Damaged);

    e = extract(*archive, u"claims-more");
    EXPECT_EQ(e.content, text) << "a stream ending early yields what it holds";
    EXPECT_EQ(e.result, PackResult::Damaged);

    e = extract(*archive, u"claims-less");
    EXPECT_EQ(e.content, Bytes(text.begin(), text.begin() + text.size() / 3)) << "decoding stops when full";
    EXPECT_EQ(e.result, PackResult::Ok);

    e = extract(*archive, u"corrupt");
    EXPECT_TRUE(e.found);
    EXPECT_LT(e.content.size(), text.size());
    EXPECT_EQ(e.result, PackResult::Damaged);

    e = extract(*archive, u"bad-properties");
    EXPECT_TRUE(e.found);
    EXPECT_TRUE(e.content.empty());
    EXPECT_EQ(e.result, PackResult::Damaged);
}

TEST(PackReaderDamage, RandomBytesNeverCrash) {
    std::mt19937 rng(42);
    for (int round = 0; round < 300; ++round) {
        Bytes block = randomBytes(rng() % 600, static_cast<unsigned>(round));
        if (round % 3 == 0 && block.size() >= 8) {
            // Point the trailer into the block so that the record loop sees random records.
            std::uint32_t offset = static_cast<std::uint32_t>(rng() % (block.size() - 4));
            std::uint32_t scrambled = offset ^ packtest::kKey;
            std::memcpy(block.data() + block.size() - 4, &scrambled, 4);
        }
        auto archive = openPackArchive(block.data(), block.size());
        for (const auto& entry : archive->entries()) {
            std::size_t size = 0;
            void* buffer = extractEntry(*archive, entry.second, &size);
            if (buffer) {  // null only when out of memory
                EXPECT_LE(size, entry.second.contentSize());
            }
            freeEntry(buffer);
        }
    }
}
