#pragma once
// TDataPhoneStore: where the data phone puts what a peer sends, in one folder
// (the working folder). The peer chooses file names, so every name is made a
// safe base name first; the program's own fixed-name files are never
// overwritten by a file (such a name gets "_" in front); an item is written to
// a temporary file beside its target and renamed over it only when complete,
// so a failed transfer leaves the old file and no partial one. The rename
// replaces a link of that name, it never writes through it.
//
// Pictures go to "Snapshot.jpg" and are checked before they replace it: the
// data must be a JPEG stream declaring at most 16 megapixels, and pass the
// optional decode check (a full decoder, supplied by whoever has one).
//
// TDataPhoneFileSource reads a file to be sent.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "telephony/dataphone.h"

namespace vandrex {

class TDataPhoneStore : public TTransferSink {
public:
    // folder: an existing folder; its name is resolved once, so a later change
    // of the current directory does not move where items go.
    explicit TDataPhoneStore(const std::string& folder);
    ~TDataPhoneStore() override;
    TDataPhoneStore(const TDataPhoneStore&) = delete;
    TDataPhoneStore& operator=(const TDataPhoneStore&) = delete;

    // Throws with a message when the picture cannot be shown.
    void SetPictureCheck(std::function<void(std::string_view jpeg)> check) {
        pictureCheck_ = std::move(check);
    }

    // The name a file announced as peerName (8-bit, already cut) is stored
    // under, as a UTF-8 file name in the folder.
    static std::string StoredName(std::string_view peerName);

    void Begin(TTransferKind kind, const std::string& peerName, std::int64_t announcedSize) override;
    void Append(std::string_view bytes) override;
    std::string Commit() override;
    void Abort() noexcept override;

    const std::string& Folder() const { return folder_; }

private:
    void CloseTemporary() noexcept;

    std::string folder_;
    int dirFd_ = -1;
    int tempFd_ = -1;
    std::string tempName_;
    std::string target_;
    TTransferKind kind_ = TTransferKind::File;
    std::string picture_;  // pictures are kept whole for the check before they are shown
    std::function<void(std::string_view)> pictureCheck_;
};

class TDataPhoneFileSource : public TTransferSource {
public:
    // Throws EInOutError when the file cannot be opened.
    explicit TDataPhoneFileSource(const std::string& path);
    ~TDataPhoneFileSource() override;
    TDataPhoneFileSource(const TDataPhoneFileSource&) = delete;
    TDataPhoneFileSource& operator=(const TDataPhoneFileSource&) = delete;

    std::int64_t Size() const { return size_; }
    std::size_t Read(char* buffer, std::size_t max) override;

private:
    std::string path_;
    int fd_ = -1;
    std::int64_t size_ = 0;
};

// A picture's frame header checked against the 16-megapixel cap; throws with
// the message the user sees.
void CheckPictureHeader(std::string_view jpeg);

}  // namespace vandrex
