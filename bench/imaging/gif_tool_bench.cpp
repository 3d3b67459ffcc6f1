// 12 megapixels to a 256-colour GIF, whole programs: vandrex-gif against
// ImageMagick's convert on the same 4000 x 3000 photo-like BMP, run in turn in
// each iteration so both see the same machine load. Reports both times and
// the ratio convert / vandrex-gif.
//
// ImageMagick's program is $VANDREX_CONVERT, else /usr/bin/convert.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/bmpfile.h"
#include "tests/imaging/testpictures.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A private folder holding the input picture for the whole run.
class TWorkFolder {
public:
    TWorkFolder() {
        std::string pattern = (fs::temp_directory_path() / "gifbenchXXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        vandrex::SaveBmpFile(Input(), vandrex::test::PhotoPicture(4000, 3000, 42));
    }
    ~TWorkFolder() { fs::remove_all(path_); }
    std::string Input() const { return (path_ / "photo.bmp").string(); }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

const TWorkFolder& Folder() {
    static const TWorkFolder folder;
    return folder;
}

// Runs a program to its end with its output discarded; seconds taken, or a
// negative value when it could not start or failed.
double RunTimed(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return taken.count();
}

void BM_Gif12MpxAgainstImageMagick(benchmark::State& state) {
    const TWorkFolder& folder = Folder();
    const char* convert = std::getenv("VANDREX_CONVERT");
    const std::vector<std::string> ours = {VANDREX_GIF_TOOL, "--fit", "none", "--colors", "256",
                                           folder.Input(), folder.File("ours.gif")};
    const std::vector<std::string> theirs = {convert ? convert : "/usr/bin/convert", folder.Input(),
                                             "-dither", "None", "-colors", "256", folder.File("theirs.gif")};
    double oursTotal = 0, theirsTotal = 0;
    for (auto _ : state) {
        const double t = RunTimed(theirs);
        const double o = RunTimed(ours);
        if (t < 0 || o < 0) {
            state.SkipWithError(t < 0 ? "convert failed" : "vandrex-gif failed");
            return;
        }
        theirsTotal += t;
        oursTotal += o;
        state.SetIterationTime(o);
    }
    const double n = double(state.iterations());
    state.counters["vandrex_gif_s"] = oursTotal / n;
    state.counters["convert_s"] = theirsTotal / n;
    state.counters["convert_over_vandrex"] = theirsTotal / oursTotal;
}

BENCHMARK(BM_Gif12MpxAgainstImageMagick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
