#pragma once
// TFileSource: a non-visual component that carries a whole file inside its
// owner's stored properties, compressed or not, and writes it out to a
// temporary file when the owner is loaded. The temporary file lives as long
// as the component.

#include <istream>
#include <ostream>
#include <string>

namespace vandrex {

class TFileSource {
public:
    explicit TFileSource(std::string name = "FileSource");
    ~TFileSource();  // deletes an extracted temporary file

    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    // The component's name; it opens the message of a failed store.
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // Compress the stored data; setting it true also sets Store.
    bool Compress() const { return compress_; }
    void SetCompress(bool compress);

    // Keep the file's bytes in the stored properties rather than only its name.
    bool Store() const { return store_; }
    void SetStore(bool store) { store_ = store; }

    const std::string& DisplayLabel() const { return displayLabel_; }
    void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }

    // With the leading dot, e.g. ".reg".
    const std::string& Extension() const { return extension_; }
    void SetExtension(std::string extension) { extension_ = std::move(extension); }

    // The file's name while that file exists, otherwise empty.
    std::string FileName() const;
    // Deletes the current file if this component extracted it, takes the new
    // name and sets Extension to the name's extension.
    void SetFileName(const std::string& fileName);

    // True while FileName is a temporary file this component created.
    bool Extracted() const { return extracted_; }

    // Writer of the file data: with Compress a container of compress/
    // compressstream.h, without it a 32-bit little-endian size and the raw
    // bytes. A missing file raises Exception
    // "<Name> cannot store file: <file name> (file is missing)".
    void WriteData(std::ostream& stream) const;

    // Reader of the file data: extracts it into a new temporary file, which
    // becomes FileName. On damaged data the temporary file is removed, the
    // current file name is left as it was, and the error is passed on.
    void ReadData(std::istream& stream);

    // A new empty file in the temporary directory named "~fs" + the seconds
    // of the current time (0 to 59) + a counter from 0 upward + Extension;
    // the first name not yet taken is created at once and returned.
    std::string MakeTempName() const;

    // The component's stored properties: Compress, Store, DisplayLabel,
    // Extension, then FileData when Store is set, otherwise FileName.
    // Records: 1-byte name length, name, type ('B' one byte 0/1; 'S' or 'D'
    // 32-bit little-endian length and bytes), ended by a zero name length.
    void WriteProperties(std::ostream& stream) const;
    // Loads properties written by WriteProperties; FileData is extracted.
    void ReadProperties(std::istream& stream);

private:
    void DeleteExtracted();

    std::string name_;
    bool compress_ = false;
    bool store_ = false;
    std::string displayLabel_;
    std::string extension_;
    std::string fileName_;
    bool extracted_ = false;
};

}  // namespace vandrex
