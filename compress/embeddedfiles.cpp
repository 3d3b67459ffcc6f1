#include "compress/embeddedfiles.h"

#include <sstream>
#include <string>

namespace vandrex {

std::vector<std::unique_ptr<TFileSource>> CreateEmbeddedFileSources() {
    std::vector<std::unique_ptr<TFileSource>> sources;
    for (std::size_t i = 0; i < kEmbeddedFileCount; ++i) {
        const TEmbeddedFile& file = kEmbeddedFiles[i];
        auto source = std::make_unique<TFileSource>("FileSource" + std::to_string(i + 1));
        source->SetCompress(true);
        source->SetDisplayLabel(file.displayLabel);
        source->SetExtension(file.extension);
        std::istringstream data(
            std::string(reinterpret_cast<const char*>(file.container), file.size));
        source->ReadData(data);
        sources.push_back(std::move(source));
    }
    return sources;
}

}  // namespace vandrex
