// Compression and decompression speed and ratio on a mixed corpus of about
// 16 MB, cut into 32783-byte blocks, each compressed on its own by every
// method: LZRW1-KH, lz4 at its default level and zlib at level 1.
//
// Corpus: the licence texts and manual pages of the machine (unpacked), the
// start of an ELF executable, runs of repeated bytes and random bytes.

#include "compress/lzrw1kh.h"

#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;
using namespace vandrex;
using Bytes = std::vector<std::uint8_t>;

namespace {

void AppendFile(Bytes& corpus, const fs::path& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(limit);
    in.read(buffer.data(), static_cast<std::streamsize>(limit));
    corpus.insert(corpus.end(), buffer.begin(), buffer.begin() + in.gcount());
}

void AppendGzip(Bytes& corpus, const fs::path& path) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file)
        return;
    char buffer[65536];
    int n;
    while ((n = gzread(file, buffer, sizeof buffer)) > 0)
        corpus.insert(corpus.end(), buffer, buffer + n);
    gzclose(file);
}

std::vector<fs::path> SortedFiles(const fs::path& dir, const std::string& suffix) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file() && it->path().string().ends_with(suffix))
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

Bytes BuildCorpus() {
    constexpr std::size_t MB = 1 << 20;
    Bytes corpus;
    for (const fs::path& p : SortedFiles("/usr/share/common-licenses", ""))
        AppendFile(corpus, p, MB);
    const std::size_t textEnd = corpus.size() + 6 * MB;
    for (const fs::path& p : SortedFiles("/usr/share/man/man1", ".gz")) {
        if (corpus.size() >= textEnd)
            break;
        AppendGzip(corpus, p);
    }
    corpus.resize(std::min(corpus.size(), textEnd));
    for (const char* elf : {"/usr/bin/cmake", "/usr/bin/gdb", "/proc/self/exe"})
        if (fs::exists(elf)) {
            AppendFile(corpus, elf, 7 * MB);
            break;
        }
    std::mt19937 gen(20240501);
    const std::size_t runsEnd = corpus.size() + 1 * MB + MB / 2;
    while (corpus.size() < runsEnd)
        corpus.insert(corpus.end(), 1 + gen() % 300, static_cast<std::uint8_t>(gen()));
    for (std::size_t i = 0; i < 1 * MB + MB / 2; ++i)
        corpus.push_back(static_cast<std::uint8_t>(gen()));
    return corpus;
}

const Bytes& Corpus() {
    static const Bytes corpus = BuildCorpus();
    return corpus;
}

struct Packed {
    std::vector<Bytes> blocks;
    std::size_t bytes = 0;
};

constexpr std::size_t kBlock = kLzrwBlockSize;

template <typename Compress>
Packed PackAll(Compress&& compress) {
    const Bytes& corpus = Corpus();
    Packed packed;
    for (std::size_t at = 0; at < corpus.size(); at += kBlock) {
        const std::size_t n = std::min(kBlock, corpus.size() - at);
        Bytes out = compress(corpus.data() + at, n);
        packed.bytes += out.size();
        packed.blocks.push_back(std::move(out));
    }
    return packed;
}

Bytes Lzrw(const std::uint8_t* in, std::size_t n) {
    Bytes out(n + kLzrwCompressSlack);
    out.resize(Compression(in, out.data(), n, out.size()));
    return out;
}

Bytes Lz4(const std::uint8_t* in, std::size_t n) {
    Bytes out(LZ4_compressBound(static_cast<int>(n)));
    out.resize(LZ4_compress_default(reinterpret_cast<const char*>(in),
                                    reinterpret_cast<char*>(out.data()), static_cast<int>(n),
                                    static_cast<int>(out.size())));
    return out;
}

Bytes Zlib1(const std::uint8_t* in, std::size_t n) {
    uLongf size = compressBound(n);
    Bytes out(size);
    if (compress2(out.data(), &size, in, n, 1) != Z_OK)
        throw std::runtime_error("zlib failed");
    out.resize(size);
    return out;
}

void Report(benchmark::State& state, const Packed& packed) {
    const std::size_t size = Corpus().size();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["ratio"] = static_cast<double>(packed.bytes) / static_cast<double>(size);
    state.counters["corpus_MB"] = static_cast<double>(size) / (1 << 20);
}

template <Bytes (*Method)(const std::uint8_t*, std::size_t)>
void BM_Compress(benchmark::State& state) {
    const Bytes& corpus = Corpus();
    Bytes out(LZ4_compressBound(kBlock) + compressBound(kBlock));
    for (auto _ : state) {
        for (std::size_t at = 0; at < corpus.size(); at += kBlock) {
            const std::size_t n = std::min(kBlock, corpus.size() - at);
            if constexpr (Method == &Lzrw) {
                benchmark::DoNotOptimize(Compression(corpus.data() + at, out.data(), n, out.size()));
            } else if constexpr (Method == &Lz4) {
                benchmark::DoNotOptimize(LZ4_compress_default(
                    reinterpret_cast<const char*>(corpus.data() + at),
                    reinterpret_cast<char*>(out.data()), static_cast<int>(n),
                    static_cast<int>(out.size())));
            } else {
                uLongf size = out.size();
                benchmark::DoNotOptimize(compress2(out.data(), &size, corpus.data() + at, n, 1));
            }
        }
        benchmark::ClobberMemory();
    }
    Report(state, PackAll(Method));
}

void BM_Lzrw1KH_Decompress(benchmark::State& state) {
    const Packed packed = PackAll(Lzrw);
    Bytes out(kBlock);
    for (auto _ : state) {
        for (const Bytes& block : packed.blocks)
            benchmark::DoNotOptimize(Decompression(block.data(), out.data(), block.size(), kBlock));
        benchmark::ClobberMemory();
    }
    Report(state, packed);
}

void BM_Lz4_Decompress(benchmark::State& state) {
    const Packed packed = PackAll(Lz4);
    Bytes out(kBlock);
    for (auto _ : state) {
        for (const Bytes& block : packed.blocks)
            benchmark::DoNotOptimize(LZ4_decompress_safe(
                reinterpret_cast<const char*>(block.data()), reinterpret_cast<char*>(out.data()),
                static_cast<int>(block.size()), static_cast<int>(kBlock)));
        benchmark::ClobberMemory();
    }
    Report(state, packed);
}

void BM_Zlib_Decompress(benchmark::State& state) {
    const Packed packed = PackAll(Zlib1);
    Bytes out(kBlock);
    for (auto _ : state) {
        for (const Bytes& block : packed.blocks) {
            uLongf size = kBlock;
            benchmark::DoNotOptimize(uncompress(out.data(), &size, block.data(), block.size()));
        }
        benchmark::ClobberMemory();
    }
    Report(state, packed);
}

}  // namespace

BENCHMARK(BM_Compress<Lzrw>)->Name("BM_Lzrw1KH_Compress")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compress<Lz4>)->Name("BM_Lz4_Compress")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compress<Zlib1>)->Name("BM_Zlib1_Compress")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lzrw1KH_Decompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lz4_Decompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zlib_Decompress)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
