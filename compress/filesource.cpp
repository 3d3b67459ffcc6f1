#include "compress/filesource.h"

#include "platform/littleendian.h"

#include "compress/compressstream.h"
#include "platform/exceptions.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace vandrex {

namespace fs = std::filesystem;

namespace {

bool FileExists(const std::string& name) {
    std::error_code error;
    return !name.empty() && fs::is_regular_file(fs::path(name), error);
}

// The extension with its dot: from the last '.' of the last path element.
std::string ExtensionOf(const std::string& name) {
    const auto slash = name.find_last_of('/');
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return name.substr(dot);
}

void PutUInt32(std::ostream& stream, std::uint32_t v) {
    char bytes[4];
    PutLE(bytes, v, 4);
    stream.write(bytes, 4);
}

std::uint32_t GetUInt32(std::istream& stream, const char* what) {
    unsigned char bytes[4];
    stream.read(reinterpret_cast<char*>(bytes), 4);
    if (stream.gcount() != 4)
        throw EInOutError(std::string("Stream read error: ") + what + " is missing");
    return static_cast<std::uint32_t>(GetLE(bytes, 4));
}

void CheckWritten(const std::ostream& stream) {
    if (!stream)
        throw EInOutError("Stream write error");
}

void WriteName(std::ostream& stream, const std::string& name) {
    stream.put(static_cast<char>(name.size()));
    stream.write(name.data(), static_cast<std::streamsize>(name.size()));
}

void WriteBool(std::ostream& stream, const std::string& name, bool value) {
    WriteName(stream, name);
    stream.put('B');
    stream.put(value ? 1 : 0);
}

void WriteBytes(std::ostream& stream, const std::string& name, char type,
                const std::string& bytes) {
    if (bytes.size() > 0xFFFFFFFFu)
        throw EInOutError("Property " + name + " is larger than 4 GB");
    WriteName(stream, name);
    stream.put(type);
    PutUInt32(stream, static_cast<std::uint32_t>(bytes.size()));
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadExactly(std::istream& stream, std::size_t size, const std::string& what) {
    std::string bytes;
    // Grow as the data arrives, so a damaged length cannot demand a huge buffer.
    constexpr std::size_t kChunk = 1 << 16;
    while (bytes.size() < size) {
        const std::size_t want = std::min(kChunk, size - bytes.size());
        const std::size_t at = bytes.size();
        bytes.resize(at + want);
        stream.read(bytes.data() + at, static_cast<std::streamsize>(want));
        if (static_cast<std::size_t>(stream.gcount()) != want)
            throw EInOutError("Stream read error: " + what + " is cut short");
    }
    return bytes;
}

}  // namespace

TFileSource::TFileSource(std::string name) : name_(std::move(name)) {}

TFileSource::~TFileSource() {
    DeleteExtracted();
}

void TFileSource::DeleteExtracted() {
    if (extracted_) {
        std::error_code ignored;
        fs::remove(fs::path(fileName_), ignored);
        extracted_ = false;
    }
}

void TFileSource::SetCompress(bool compress) {
    compress_ = compress;
    if (compress)
        store_ = true;
}

std::string TFileSource::FileName() const {
    return FileExists(fileName_) ? fileName_ : std::string();
}

void TFileSource::SetFileName(const std::string& fileName) {
    DeleteExtracted();
    fileName_ = fileName;
    extracted_ = false;
    extension_ = ExtensionOf(fileName);
}

void TFileSource::WriteData(std::ostream& stream) const {
    if (!FileExists(fileName_))
        throw Exception(name_ + " cannot store file: " + fileName_ + " (file is missing)");
    std::ifstream file(fileName_, std::ios::binary);
    if (!file)
        throw EInOutError("Cannot open " + fileName_ + ": " + std::strerror(errno));
    std::error_code error;
    const std::uintmax_t size = fs::file_size(fs::path(fileName_), error);
    if (error)
        throw EInOutError("Cannot read " + fileName_ + ": " + error.message());
    if (compress_) {
        TCompressStream().CompressStream(file, stream, size);
        return;
    }
    if (size > 0xFFFFFFFFu)
        throw EInOutError(fileName_ + " is larger than 4 GB");
    PutUInt32(stream, static_cast<std::uint32_t>(size));
    std::vector<char> buffer(1 << 16);
    std::uintmax_t left = size;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uintmax_t>(buffer.size(), left));
        file.read(buffer.data(), static_cast<std::streamsize>(want));
        if (static_cast<std::size_t>(file.gcount()) != want)
            throw EInOutError("Read error on " + fileName_);
        stream.write(buffer.data(), static_cast<std::streamsize>(want));
        left -= want;
    }
    CheckWritten(stream);
}

void TFileSource::ReadData(std::istream& stream) {
    const std::string temp = MakeTempName();
    try {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (!file)
            throw EInOutError("Cannot open " + temp + ": " + std::strerror(errno));
        if (compress_) {
            TCompressStream().DecompressStream(stream, file);
        } else {
            const std::uint32_t size = GetUInt32(stream, "the file size");
            constexpr std::size_t kChunk = 1 << 16;
            std::vector<char> buffer(kChunk);
            std::uint32_t left = size;
            while (left > 0) {
                const std::size_t want = std::min<std::size_t>(kChunk, left);
                stream.read(buffer.data(), static_cast<std::streamsize>(want));
                if (static_cast<std::size_t>(stream.gcount()) != want)
                    throw EInOutError("Stream read error: the file data is cut short");
                file.write(buffer.data(), static_cast<std::streamsize>(want));
                left -= static_cast<std::uint32_t>(want);
            }
        }
        file.close();
        if (!file)
            throw EInOutError("Write error on " + temp);
    } catch (...) {
        std::error_code ignored;
        fs::remove(fs::path(temp), ignored);
        throw;
    }
    SetFileName(temp);
    extracted_ = true;
}

std::string TFileSource::MakeTempName() const {
    std::error_code error;
    std::string dir = fs::temp_directory_path(error).string();
    if (error)
        dir = "/tmp";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string stem = dir + "/~fs" + std::to_string(std::min(local.tm_sec, 59));
    for (unsigned long counter = 0;; ++counter) {
        const std::string name = stem + std::to_string(counter) + extension_;
        // O_EXCL takes the name only if nobody else has it, even in a race.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST)
            throw EInOutError("Cannot create a temporary file " + name + ": " +
                              std::strerror(errno));
    }
}

void TFileSource::WriteProperties(std::ostream& stream) const {
    WriteBool(stream, "Compress", compress_);
    WriteBool(stream, "Store", store_);
    WriteBytes(stream, "DisplayLabel", 'S', displayLabel_);
    WriteBytes(stream, "Extension", 'S', extension_);
    if (store_) {
        std::ostringstream data;
        WriteData(data);
        WriteBytes(stream, "FileData", 'D', data.str());
    } else {
        WriteBytes(stream, "FileName", 'S', fileName_);
    }
    stream.put(0);
    CheckWritten(stream);
}

void TFileSource::ReadProperties(std::istream& stream) {
    for (;;) {
        const int length = stream.get();
        if (length == std::char_traits<char>::eof())
            throw EInOutError("Stream read error: the property list is cut short");
        if (length == 0)
            return;
        const std::string name = ReadExactly(stream, static_cast<std::size_t>(length), "a property name");
        const int type = stream.get();
        if (type == 'B') {
            const int value = stream.get();
            if (value != 0 && value != 1)
                throw EInOutError("Invalid value of property " + name);
            if (name == "Compress")
                SetCompress(value == 1);
            else if (name == "Store")
                SetStore(value == 1);
            else
                throw EInOutError("Unknown property " + name);
        } else if (type == 'S' || type == 'D') {
            const std::uint32_t size = GetUInt32(stream, "a property length");
            std::string bytes = ReadExactly(stream, size, "property " + name);
            if (type == 'S' && name == "DisplayLabel") {
                SetDisplayLabel(std::move(bytes));
            } else if (type == 'S' && name == "Extension") {
                SetExtension(std::move(bytes));
            } else if (type == 'S' && name == "FileName") {
                SetFileName(bytes);
            } else if (type == 'D' && name == "FileData") {
                std::istringstream data(std::move(bytes));
                ReadData(data);
            } else {
                throw EInOutError("Unknown property " + name);
            }
        } else {
            throw EInOutError("Invalid type of property " + name);
        }
    }
}

}  // namespace vandrex
