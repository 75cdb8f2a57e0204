// bench_pack [MiB]: builds an archive of mixed compressible data (default 128 MiB unpacked) in memory,
// then times extraction of every entry through the reader against a bare liblzma decode of the same
// streams, alternating the two and keeping each one's best round.
#include <lzma.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <ctime>
#include <vector>

#include "pack/pack_archive.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

void put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Text with a skewed vocabulary (compresses about 4:1).
Bytes makeText(std::size_t size, std::mt19937& rng) {
    static const char* words[] = {"the ",    "install ",  "folder ",   "skin ",  "layout ",
                                  "button ", "progress ", "registry ", "value ", "<node attr=\"",
                                  "\"/>\n",  "0x",        "42 ",       "\r\n",   "function ",
                                  "end\n",   "local ",    "return ",   "if ",    "then "};
    std::geometric_distribution<int> pick(0.18);
    Bytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const char* w = words[std::min(pick(rng), 19)];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(size);
    return out;
}

// Records of small integers and repeated fields, like tables in executables (about 2:1 to 3:1).
Bytes makeBinary(std::size_t size, std::mt19937& rng) {
    Bytes out(size);
    std::uint32_t base = static_cast<std::uint32_t>(rng());
    for (std::size_t i = 0; i + 16 <= size; i += 16) {
        std::uint32_t fields[4] = {base + static_cast<std::uint32_t>(i),
                                   static_cast<std::uint32_t>(rng() % 256),
                                   static_cast<std::uint32_t>(0x00400000u + (rng() % 4096) * 16),
                                   rng() % 3 ? 0u : static_cast<std::uint32_t>(rng())};
        std::memcpy(out.data() + i, fields, 16);
    }
    return out;
}

// Smooth gradients with noise, like uncompressed image data (about 1.5:1).
Bytes makeImage(std::size_t size, std::mt19937& rng) {
    Bytes out(size);
    int v = 128;
    for (std::size_t i = 0; i < size; ++i) {
        v += static_cast<int>(rng() % 7) - 3;
        v = std::clamp(v, 0, 255);
        out[i] = static_cast<unsigned char>(v + (i % 4 == 3 ? 0 : static_cast<int>(rng() % 4)));
    }
    return out;
}

struct Stream {
    std::u16string name;
    Bytes data;  // properties + raw stream
    std::uint32_t unpacked;
};

Bytes compressLzma(const Bytes& content) {
    lzma_options_lzma options;
    // A fast preset keeps the set-up short; the streams are ordinary LZMA1 all the same.
    lzma_lzma_preset(&options, 1);
    options.dict_size =
        std::max<std::uint32_t>(LZMA_DICT_SIZE_MIN, static_cast<std::uint32_t>(content.size()));
    options.ext_flags = 0;
    options.ext_size_low = options.ext_size_high = 0;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out{0x5D};
    put32(out, 64u << 20);
    out.resize(5 + content.size() + content.size() / 8 + 1024);
    std::size_t pos = 5;
    if (lzma_raw_buffer_encode(filters, nullptr, content.data(), content.size(), out.data(), &pos,
                               out.size()) != LZMA_OK) {
        std::fprintf(stderr, "bench_pack: compression failed\n");
        std::exit(1);
    }
    out.resize(pos);
    return out;
}

// Bare liblzma: raw LZMA1 with known size into a caller's buffer; returns the bytes produced.
std::size_t bareDecode(const Stream& s, unsigned char* out, bool capDictionary) {
    lzma_options_lzma options{};
    unsigned props = s.data[0];
    options.lc = props % 9;
    options.lp = (props / 9) % 5;
    options.pb = props / 45;
    std::uint32_t dict;
    std::memcpy(&dict, s.data.data() + 1, 4);
    options.dict_size =
        capDictionary ? std::max<std::uint32_t>(LZMA_DICT_SIZE_MIN, std::min(dict, s.unpacked)) : dict;
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = s.unpacked;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&strm, filters) != LZMA_OK)
        return 0;
    strm.next_in = s.data.data() + 5;
    strm.avail_in = s.data.size() - 5;
    strm.next_out = out;
    strm.avail_out = s.unpacked;
    while (lzma_code(&strm, LZMA_FINISH) == LZMA_OK) {
    }
    std::size_t produced = s.unpacked - strm.avail_out;
    lzma_end(&strm);
    return produced;
}

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t totalMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 128;
    const std::size_t target = totalMiB << 20;

    // 1. Entries of log-uniform sizes (16 KiB .. 8 MiB), cycling through the three kinds of content.
    std::mt19937 rng(2024);
    std::vector<Bytes> contents;
    std::size_t total = 0;
    while (total < target) {
        std::size_t size = static_cast<std::size_t>(std::exp2(14 + (rng() % 1000) / 1000.0 * 9));
        size = std::min(size, target - total + 4096);
        std::mt19937 local(rng());
        int kind = static_cast<int>(contents.size() % 3);
        contents.push_back(kind == 0   ? makeText(size, local)
                           : kind == 1 ? makeBinary(size, local)
                                       : makeImage(size, local));
        total += size;
    }

    // 2. Compress on every core, then lay the archive out: tag, data, directory, trailer.
    auto t0 = Clock::now();
    std::vector<Stream> streams(contents.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t) {
        pool.emplace_back([&] {
            for (std::size_t i; (i = next++) < contents.size();) {
                std::string n = "payload/file" + std::to_string(i) + ".bin";
                streams[i].name.assign(n.begin(), n.end());
                streams[i].data = compressLzma(contents[i]);
                streams[i].unpacked = static_cast<std::uint32_t>(contents[i].size());
            }
        });
    }
    for (auto& t : pool) t.join();
    double compressTime = seconds(t0, Clock::now());

    Bytes block{'p', 'a', 'c', 'k', '-', 'v', '1', '.', '1'};
    Bytes directory;
    std::size_t packed = 0;
    for (const Stream& s : streams) {
        std::u16string units = s.name + u'\0';
        if (units.size() % 2)
            units.push_back(0);
        put32(directory, static_cast<std::uint32_t>(16 + 2 * units.size()));
        put32(directory, static_cast<std::uint32_t>(block.size()));
        put32(directory, static_cast<std::uint32_t>(s.data.size()));
        put32(directory, s.unpacked);
        for (std::size_t i = 0; i < units.size(); i += 2)
            put32(directory, (units[i] | std::uint32_t(units[i + 1]) << 16) ^ kPackArchiveKey);
        block.insert(block.end(), s.data.begin(), s.data.end());
        packed += s.data.size();
    }
    const auto directoryOffset = static_cast<std::uint32_t>(block.size());
    block.insert(block.end(), directory.begin(), directory.end());
    put32(block, 0);
    put32(block, directoryOffset ^ kPackArchiveKey);

    auto archive = openPackArchive(block.data(), block.size());
    if (archive->isDamaged() || archive->entries().size() != streams.size()) {
        std::fprintf(stderr, "bench_pack: archive did not index: %s\n", archive->damage().c_str());
        return 1;
    }
    std::printf(
        "archive: %zu entries, %.1f MiB unpacked, %.1f MiB packed (ratio %.2f), compressed in %.1f s\n",
        streams.size(), total / 1048576.0, packed / 1048576.0, double(total) / packed, compressTime);

    // 3. Each entry is decoded by the three methods in turn, several rounds in rotating order; each
    //    method keeps its best time per entry (thread CPU time, so that other load on the machine
    //    does not count; wall time is shown as well).
    std::size_t largest = 0;
    for (const Stream& s : streams) largest = std::max<std::size_t>(largest, s.unpacked);
    Bytes scratch(largest);
    const int rounds = 5;
    double cpu[3] = {0, 0, 0}, wall[3] = {0, 0, 0};
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const Stream& s = streams[i];
        double bestCpu[3] = {1e9, 1e9, 1e9}, bestWall[3] = {1e9, 1e9, 1e9};
        for (int round = 0; round < rounds; ++round) {
            for (int pass = 0; pass < 3; ++pass) {
                const int which = (pass + round) % 3;
                std::size_t produced = 0;
                double c0 = threadCpuSeconds();
                auto w0 = Clock::now();
                void* buffer = nullptr;
                if (which == 0) {
                    buffer = extractEntry(*archive, s.name.c_str(), &produced);
                } else {
                    produced = bareDecode(s, scratch.data(), which == 2);
                }
                double c = threadCpuSeconds() - c0, w = seconds(w0, Clock::now());
                if (which == 0) {
                    // The content check stays outside the timing; releasing the buffer is timed.
                    if (!buffer || produced != contents[i].size() ||
                        std::memcmp(buffer, contents[i].data(), produced) != 0) {
                        std::fprintf(stderr, "bench_pack: wrong content for entry %zu\n", i);
                        return 1;
                    }
                    c0 = threadCpuSeconds();
                    w0 = Clock::now();
                    freeEntry(buffer);
                    c += threadCpuSeconds() - c0;
                    w += seconds(w0, Clock::now());
                }
                if (produced != s.unpacked) {
                    std::fprintf(stderr, "bench_pack: method %d decoded %zu of %u bytes\n", which, produced,
                                 s.unpacked);
                    return 1;
                }
                bestCpu[which] = std::min(bestCpu[which], c);
                bestWall[which] = std::min(bestWall[which], w);
            }
        }
        for (int m = 0; m < 3; ++m) {
            cpu[m] += bestCpu[m];
            wall[m] += bestWall[m];
        }
    }
    const double mb = total / 1e6;
    const char* label[3] = {"reader extractEntry            ", "bare liblzma, dictionary as set",
                            "bare liblzma, dictionary capped"};
    for (int m = 0; m < 3; ++m) {
        std::printf("%s: %7.1f MB/s CPU (%.3f s), %7.1f MB/s wall (%.3f s)\n", label[m], mb / cpu[m], cpu[m],
                    mb / wall[m], wall[m]);
    }
    std::printf("reader overhead over bare (capped dictionary): %+.2f%% CPU, %+.2f%% wall\n",
                (cpu[0] / cpu[2] - 1) * 100, (wall[0] / wall[2] - 1) * 100);
    std::printf("reader overhead over bare (dictionary as set): %+.2f%% CPU, %+.2f%% wall\n",
                (cpu[0] / cpu[1] - 1) * 100, (wall[0] / wall[1] - 1) * 100);
    return 0;
}
