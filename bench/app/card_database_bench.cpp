// Card file speed on a 100,000-card file: sorting, opening and showing card 0,
// and navigation at the start and at the end of the file.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/carddatabase.h"

namespace {

using namespace vandrex;

constexpr int kCards = 100000;

struct CardFile {
    std::string dir;
    std::string path;
    std::string bytes;  // the unsorted file

    CardFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vandrex-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        path = dir + "/Your DataBase.DAT";
        std::mt19937 rng(42);
        TCardRecord r;
        for (int i = 0; i < kCards; ++i) {
            std::string last;
            const int length = 1 + static_cast<int>(rng() % 12);
            for (int c = 0; c < length; ++c) last.push_back(static_cast<char>('a' + rng() % 26));
            r.setText(CardField::FirstName, "Card " + std::to_string(i));
            r.setText(CardField::LastName, last);
            r.setText(CardField::City, "Amsterdam");
            r.setText(CardField::Phone, "+31 20 " + std::to_string(rng() % 10000000));
            r.setText(CardField::EMail, last + "@example.org");
            bytes.append(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
        }
        reset();
    }
    ~CardFile() { std::filesystem::remove_all(dir); }
    void reset() const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
};

CardFile& File() {
    static CardFile file;
    return file;
}

// What the window does to show a card: decode all eleven fields.
void Decode(const TCardDatabase& db) {
    for (int f = 0; f < kCardFieldCount; ++f) benchmark::DoNotOptimize(db.CardBuffer.text(static_cast<CardField>(f)));
}

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

void BM_SortCards(benchmark::State& state) {
    CardFile& file = File();
    const long rssBefore = PeakRssKb();
    for (auto _ : state) {
        state.PauseTiming();
        file.reset();
        TCardDatabase db;
        db.Open(file.path);
        state.ResumeTiming();
        db.SortCards();
    }
    state.counters["cards"] = kCards;
    state.counters["peak_rss_growth_kB"] = static_cast<double>(PeakRssKb() - rssBefore);
}
BENCHMARK(BM_SortCards)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenAndShowFirstCard(benchmark::State& state) {
    CardFile& file = File();
    file.reset();
    TCardDatabase db;
    for (auto _ : state)
        if (db.Open(file.path).ShowCard) Decode(db);
}
BENCHMARK(BM_OpenAndShowFirstCard)->Unit(benchmark::kMicrosecond);

// Next/Previous/slider: seek, read, show.
void BM_ShowCardAt(benchmark::State& state) {
    CardFile& file = File();
    file.reset();
    TCardDatabase db;
    db.Open(file.path);
    const int k = static_cast<int>(state.range(0));
    for (auto _ : state) {
        db.CardIndex = k;
        db.Seek(k);
        db.ReadCard(k);
        Decode(db);
    }
}
BENCHMARK(BM_ShowCardAt)->Arg(0)->Arg(kCards - 1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
