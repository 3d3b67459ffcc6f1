// vandrex-gif: turns a BMP or JPEG picture into an i-mode GIF the way the
// snapshot does, or appends it to an animation the way the animation button
// does.
//
//   vandrex-gif [--fit width|height|none] [--colors N] [--lzw] [--boost] [--gray] IN OUT.gif
//   vandrex-gif --append [options] IN ANIM.gif
//   vandrex-gif --max-bytes N [options] IN OUT.gif   (largest colour count that fits N bytes)

#include <algorithm>
#include <filesystem>
#include <cctype>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "imaging/filebytes.h"
#include "imaging/gifoptimizer.h"
#include "imaging/gifwriter.h"
#include "imaging/imageencore.h"
#include "platform/exceptions.h"

namespace {

const char* kUsage =
    "usage: vandrex-gif [--append] [--fit width|height|none] [--colors N] [--lzw] [--boost] [--gray]\n"
    "                   IN.bmp|IN.jpg OUT.gif\n"
    "  --fit      width (default): 128 pixels wide; height: 128 pixels high; none: keep the size\n"
    "  --colors   1..256 colours (default 256)\n"
    "  --lzw      LZW coding (default: run-length coding)\n"
    "  --boost    dark-level boost\n"
    "  --gray     grayscale\n"
    "  --max-bytes N  the most colours (up to --colors) that keep the GIF within N bytes;\n"
    "             prints the count chosen\n"
    "  --append   insert the picture into the animation OUT.gif as its next frame\n"
    "             (a missing OUT.gif is started with the picture as its first frame)\n";

struct TOptions {
    std::string Fit = "width";
    int Colors = 256;
    bool Lzw = false;
    bool Boost = false;
    bool Gray = false;
    bool Append = false;
    long long MaxBytes = 0;  // 0: no limit
    std::string In;
    std::string Out;
};

class TUsageError : public std::exception {
public:
    explicit TUsageError(std::string m) : message_(std::move(m)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

TOptions ParseArguments(int argc, char** argv) {
    TOptions o;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw TUsageError(a + " needs a value");
            return argv[++i];
        };
        if (a == "--fit") {
            o.Fit = value();
            if (o.Fit != "width" && o.Fit != "height" && o.Fit != "none")
                throw TUsageError("--fit takes width, height or none, not \"" + o.Fit + "\"");
        } else if (a == "--colors") {
            const std::string v = value();
            std::size_t used = 0;
            int n = 0;
            try {
                n = std::stoi(v, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != v.size() || n < 1 || n > 256)
                throw TUsageError("--colors takes a number from 1 to 256, not \"" + v + "\"");
            o.Colors = n;
        } else if (a == "--max-bytes") {
            const std::string v = value();
            std::size_t used = 0;
            long long n = 0;
            try {
                n = std::stoll(v, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != v.size() || n < 1) throw TUsageError("--max-bytes takes a positive number, not \"" + v + "\"");
            o.MaxBytes = n;
        } else if (a == "--lzw") {
            o.Lzw = true;
        } else if (a == "--boost") {
            o.Boost = true;
        } else if (a == "--gray") {
            o.Gray = true;
        } else if (a == "--append") {
            o.Append = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a.size() > 1 && a[0] == '-') {
            throw TUsageError("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) throw TUsageError("expected an input picture and an output GIF");
    o.In = files[0];
    o.Out = files[1];
    return o;
}

std::string LowerExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

void Load(vandrex::TImageEnCore& image, const std::string& path) {
    // Only the signature is looked at here; the loader reads the file itself.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw vandrex::EInOutError("cannot read \"" + path + "\"");
    unsigned char signature[2] = {};
    const std::size_t got = std::fread(signature, 1, 2, f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) throw vandrex::EInOutError("cannot read \"" + path + "\"");
    std::string ext = LowerExtension(path);
    if (ext != "bmp" && ext != "jpg" && ext != "jpeg") {
        // No telling extension: look at the signature.
        if (got == 2 && signature[0] == 'B' && signature[1] == 'M')
            ext = "bmp";
        else if (got == 2 && signature[0] == 0xFF && signature[1] == 0xD8)
            ext = "jpg";
        else
            throw vandrex::EInvalidGraphic("\"" + path + "\" is neither a BMP nor a JPEG picture");
    }
    if (ext == "bmp")
        image.IO.LoadFromFileBMP(path);
    else
        image.IO.LoadFromFileJpeg(path);
}

void Prepare(vandrex::TImageEnCore& image, const TOptions& o) {
    image.Proc.AutoUndo = false;
    if (o.Fit == "width")
        image.Proc.Resample(128, -1, 3);
    else if (o.Fit == "height")
        image.Proc.Resample(-1, 128, 3);
    if (o.Boost) image.Proc.AutoEqualize();
    if (o.Gray) image.Proc.ConvertToGray();
    int colors = o.Colors;
    if (o.MaxBytes > 0) {
        const auto fit = vandrex::FitColorsToBytes(image.Bitmap(), image.Background, o.Lzw, o.MaxBytes, o.Colors);
        if (!fit) throw vandrex::Exception("even 2 colours make a GIF of more than " + std::to_string(o.MaxBytes) + " bytes");
        colors = *fit;
        std::printf("%d colours\n", colors);
    }
    image.Proc.ReduceColors(colors);
}

int Run(const TOptions& o) {
    vandrex::TImageEnCore image;
    image.Background = {255, 255, 255};
    image.IO.UseLZW = o.Lzw;
    Load(image, o.In);
    Prepare(image, o);
    if (!o.Append) {
        image.IO.SaveToFileGIF(o.Out, false, 0, 0, false, 0);
        return 0;
    }
    // No animation yet: the picture becomes its first frame, written as the
    // first press of the animation button writes it.
    std::error_code ec;
    if (!std::filesystem::exists(o.Out, ec) && !ec) {
        image.IO.SaveToFileGIF(o.Out, false, 0, 0, false, 0);
        return 0;
    }
    const auto existing = vandrex::ReadFileBytes(o.Out);
    if (!existing) throw vandrex::EInOutError("cannot read \"" + o.Out + "\"");
    const int frames = vandrex::CountGifImages(*existing);
    vandrex::TGifInsertOptions frame;  // appended, transparent, the screen grown to fit
    frame.Interlaced = true;
    frame.Transparent = true;
    frame.Position = frames;
    image.IO.InsertToFileGIF(o.Out, frame);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions options;
    try {
        options = ParseArguments(argc, argv);
    } catch (const TUsageError& e) {
        std::fprintf(stderr, "vandrex-gif: %s\n%s", e.what(), kUsage);
        return 2;
    }
    try {
        return Run(options);
    } catch (const vandrex::EInvalidGraphic& e) {
        const bool gif = std::string(e.what()) == "unrecognized GIF";
        std::fprintf(stderr, "vandrex-gif: %s: %s\n", (gif ? options.Out : options.In).c_str(), e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vandrex-gif: %s\n", e.what());
    }
    return 1;
}
