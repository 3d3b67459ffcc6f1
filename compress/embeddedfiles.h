#pragma once
// The files the program carries inside its executable: each is kept as a
// compressed container made at build time and extracted to a temporary file
// by a TFileSource when the main window starts.

#include "compress/filesource.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace vandrex {

struct TEmbeddedFile {
    const char* displayLabel;
    const char* extension;          // with the leading dot
    const unsigned char* container;  // the "PMCS10" container of the file
    std::size_t size;
};

// The carried files, in a fixed order (generated at build time).
extern const TEmbeddedFile kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;

// Makes FileSource1, FileSource2 and FileSource3 (Compress and Store set)
// and extracts each carried file into a new temporary file; FileName() is
// that file. Destroying a source deletes its file. Throws what ReadData
// throws (a temporary file that cannot be created, a damaged container).
std::vector<std::unique_ptr<TFileSource>> CreateEmbeddedFileSources();

}  // namespace vandrex
