#pragma once
// TMediaFileEditor: the file-editing object of an opened RealMedia file. It
// reads and writes the clip fields, keeps a time range, appends further
// files and saves the result to a new file.
//
// Cuts: the range is StartTime..EndTime, or EndTime..StartTime when the start
// is after the end, clamped to the clip. Pictures start at the key frame at or
// before the range's start; sound starts there too, so both stay in step.
// Joins copy the packets of an appended file whose streams match the opened
// one (codecs, picture size, sample rate, channels) and re-encode any other
// file to the opened file's format. A save writes a temporary file beside
// the target and renames it over the target at the end; on any failure it
// raises EMediaFileError and leaves no file behind.

#include <QString>

#include <string>
#include <vector>

#include "media/producersettings.h"
#include "platform/exceptions.h"

namespace vandrex {

class EMediaFileError : public Exception {
public:
    explicit EMediaFileError(const std::string& message) : Exception(message) {}
};

class TMediaFileEditor {
public:
    // Throws EMediaFileError when the file is missing or not RealMedia.
    explicit TMediaFileEditor(const QString& fullName);

    QString Title() const { return title_; }
    void SetTitle(const QString& v) { title_ = v; }
    QString Author() const { return author_; }
    void SetAuthor(const QString& v) { author_ = v; }
    QString Copyright() const { return copyright_; }
    void SetCopyright(const QString& v) { copyright_ = v; }
    QString Description() const { return description_; }
    void SetDescription(const QString& v) { description_ = v; }
    QString Keywords() const { return keywords_; }
    void SetKeywords(const QString& v) { keywords_ = v; }
    int Rating() const { return rating_; }
    void SetRating(int v) { rating_ = v; }
    WordBool Indexable() const { return indexable_; }
    void SetIndexable(WordBool v) { indexable_ = ToWordBool(v != 0); }
    WordBool SelectiveRecord() const { return selectiveRecord_; }
    void SetSelectiveRecord(WordBool v) { selectiveRecord_ = ToWordBool(v != 0); }
    WordBool MobilePlay() const { return mobilePlay_; }
    void SetMobilePlay(WordBool v) { mobilePlay_ = ToWordBool(v != 0); }

    // Length of the opened clip in milliseconds.
    int Duration() const { return duration_; }
    int StartTime() const { return start_; }
    void SetStartTime(int ms) { start_ = ms; }
    int EndTime() const { return end_; }
    void SetEndTime(int ms) { end_ = ms; }

    // Appends a file after the opened one at the next save. Throws
    // EMediaFileError when it cannot be opened.
    void AppendMediaFile(const QString& fullName);
    // Writes the range (and the appended files) with the clip fields.
    void SaveMediaFile(const QString& fullName);

    const QString& FileName() const { return path_; }

private:
    QString path_;
    QString title_, author_, copyright_, description_, keywords_;
    int rating_ = 0;
    WordBool indexable_ = kWordTrue, selectiveRecord_ = kWordTrue, mobilePlay_ = kWordFalse;
    int duration_ = 0;
    int start_ = 0;
    int end_ = -1;
    std::vector<QString> appended_;
};

}  // namespace vandrex
