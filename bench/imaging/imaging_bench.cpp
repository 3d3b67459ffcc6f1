// Imaging core throughput: GIF coding against giflib's encoder on the same
// indices, quantizing, resampling and colour counting of photo-sized pictures.

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <random>

#include "imaging/gifwriter.h"
#include "imaging/hash1.h"
#include "imaging/octquant.h"
#include "imaging/resample.h"
#include "tests/imaging/testpictures.h"

namespace {

using namespace vandrex;

TBitmap Photo(int width, int height) { return test::PhotoPicture(width, height, 42); }

const std::vector<std::uint8_t>& HdIndices() {
    static const std::vector<std::uint8_t> indices = [] {
        std::vector<std::uint8_t> idx;
        TRGB palette[256];
        QuantizeForGif(Photo(1920, 1080), 1, 255, idx, palette);
        return idx;
    }();
    return indices;
}

void SetPixels(benchmark::State& state, std::int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
    state.counters["Mpx/s"] =
        benchmark::Counter(double(pixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_GifLzw1080p(benchmark::State& state) {
    const auto& idx = HdIndices();
    std::vector<std::uint8_t> out;
    out.reserve(idx.size());
    for (auto _ : state) {
        out.clear();
        WriteLzwImageData(out, idx.data(), 1920, 1080, false);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = double(out.size());
    SetPixels(state, 1920 * 1080);
}

void BM_GifRunLength1080p(benchmark::State& state) {
    const auto& idx = HdIndices();
    std::vector<std::uint8_t> out;
    out.reserve(idx.size() * 2);
    for (auto _ : state) {
        out.clear();
        WriteRunLengthImageData(out, idx.data(), 1920, 1080);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = double(out.size());
    SetPixels(state, 1920 * 1080);
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// giflib's encoder on the same indices: screen, image descriptor and one
// EGifPutLine per row, into memory.
void BM_GiflibEGifPutLine1080p(benchmark::State& state) {
    const auto& idx = HdIndices();
    std::vector<std::uint8_t> out;
    out.reserve(idx.size());
    std::vector<GifColorType> colors(256);
    for (auto _ : state) {
        out.clear();
        int error = 0;
        GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
        ColorMapObject* map = GifMakeMapObject(256, colors.data());
        EGifPutScreenDesc(gif, 1920, 1080, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, 1920, 1080, false, nullptr);
        for (int y = 0; y < 1080; ++y)
            EGifPutLine(gif, const_cast<GifPixelType*>(idx.data() + std::size_t(y) * 1920), 1920);
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = double(out.size());
    SetPixels(state, 1920 * 1080);
}

const TBitmap& Photo12Mpx() {
    static const TBitmap photo = Photo(4000, 3000);
    return photo;
}

void BM_QuantizeAndMap12Mpx(benchmark::State& state) {
    const TBitmap& photo = Photo12Mpx();
    TBitmap work;
    for (auto _ : state) {
        state.PauseTiming();
        work = photo;
        state.ResumeTiming();
        ReduceColors(work, 256);
        benchmark::DoNotOptimize(work.Data().data());
    }
    SetPixels(state, photo.PixelCount());
}

void BM_Resample12MpxTo128Filter3(benchmark::State& state) {
    const TBitmap& photo = Photo12Mpx();
    for (auto _ : state) {
        TBitmap out = ResampleBitmap(photo, 128, 96, 3);
        benchmark::DoNotOptimize(out.Data().data());
    }
    SetPixels(state, photo.PixelCount());
}

void BM_CountColors12Mpx(benchmark::State& state) {
    const TBitmap& photo = Photo12Mpx();
    std::int64_t colors = 0;
    for (auto _ : state) benchmark::DoNotOptimize(colors = CountColors(photo));
    state.counters["colors"] = double(colors);
    SetPixels(state, photo.PixelCount());
}

BENCHMARK(BM_GifLzw1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GiflibEGifPutLine1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifRunLength1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantizeAndMap12Mpx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample12MpxTo128Filter3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountColors12Mpx)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
