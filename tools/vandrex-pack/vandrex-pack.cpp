// vandrex-pack: the command-line companion of the compressed container.
//   vandrex-pack c IN OUT   compress IN into the container OUT
//   vandrex-pack d IN OUT   decompress the container IN into OUT
//   vandrex-pack t IN       check the container IN and list its blocks
// Exit status: 0 done, 1 failed (the message says why), 2 wrong usage.
// OUT is written under a temporary name and renamed when complete, so a
// failure never leaves a partial or damaged OUT behind.

#include "compress/compressstream.h"
#include "compress/lzrw1kh.h"
#include "platform/exceptions.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vandrex;

namespace {

int Usage() {
    std::cerr << "usage: vandrex-pack c IN OUT   compress IN into a container\n"
                 "       vandrex-pack d IN OUT   decompress a container\n"
                 "       vandrex-pack t IN       test a container and list its blocks\n";
    return 2;
}

std::ifstream OpenInput(const std::string& name) {
    std::error_code error;
    if (fs::is_directory(name, error))
        throw EInOutError(name + ": is a folder");
    std::ifstream in(name, std::ios::binary);
    if (!in)
        throw EInOutError(name + ": " + std::strerror(errno));
    return in;
}

// Runs `write` on a temporary file beside `name` and renames it to `name`
// once it succeeded; removes it otherwise.
template <typename Writer>
void WriteAtomically(const std::string& name, Writer&& write) {
    const std::string temp = name + ".part" + std::to_string(::getpid());
    try {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            throw EInOutError(temp + ": " + std::strerror(errno));
        write(out);
        out.close();
        if (!out)
            throw EInOutError(temp + ": write error");
        fs::rename(temp, name);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw;
    }
}

void CompressFile(const std::string& in, const std::string& out) {
    std::ifstream source = OpenInput(in);
    const std::uintmax_t size = fs::file_size(in);
    WriteAtomically(out, [&](std::ostream& dest) {
        TCompressStream().CompressStream(source, dest, size);
    });
}

void DecompressFile(const std::string& in, const std::string& out) {
    std::ifstream source = OpenInput(in);
    WriteAtomically(out, [&](std::ostream& dest) { TCompressStream().DecompressStream(source, dest); });
}

void TestFile(const std::string& in) {
    std::ifstream source = OpenInput(in);
    const auto blocks = TCompressStream().TestStream(source);
    std::uint64_t packed = kContainerHeaderSize;
    std::uint64_t unpacked = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const TBlockInfo& b = blocks[i];
        std::cout << "block " << (i + 1) << ": " << b.packedSize << " bytes, "
                  << (b.stored ? "stored" : "compressed") << ", " << b.unpackedSize
                  << " bytes decompressed\n";
        packed += 4 + b.packedSize;
        unpacked += b.unpackedSize;
    }
    std::cout << in << ": " << blocks.size() << (blocks.size() == 1 ? " block, " : " blocks, ")
              << packed << " bytes, " << unpacked << " bytes decompressed, OK\n";
    char extra;
    if (source.read(&extra, 1) && source.gcount() == 1)
        std::cout << in << ": note: bytes follow the end of the container\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string_view command = argv[1];
    try {
        if (command == "c" && argc == 4)
            CompressFile(argv[2], argv[3]);
        else if (command == "d" && argc == 4)
            DecompressFile(argv[2], argv[3]);
        else if (command == "t" && argc == 3)
            TestFile(argv[2]);
        else
            return Usage();
    } catch (const std::exception& e) {
        std::cerr << "vandrex-pack: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
