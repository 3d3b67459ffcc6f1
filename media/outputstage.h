#pragma once
// Output stages of an encoding: a RealMedia file, or a live stream to a
// server (HTTP POST with basic authentication, or UDP datagrams).

#include <memory>
#include <string>

#include "platform/rmfile.h"

namespace vandrex {

class IOutputStage {
public:
    virtual ~IOutputStage() = default;
    virtual int AddStream(const AVCodecContext* encoder) = 0;
    virtual void Begin() = 0;
    virtual void Write(AVPacket* pkt, int stream, AVRational timeBase) = 0;
    // Finishes the output so it plays; safe to call after a failure.
    virtual void Finish() = 0;
    virtual bool Begun() const = 0;
    virtual std::string Name() const = 0;
};

// Writes through an RmWriter; the target decides file or stream.
class TRmOutput final : public IOutputStage {
public:
    TRmOutput(std::string target, bool isUrl, av::RmClipInfo clip, av::FileInfoList urlOptions = {});
    int AddStream(const AVCodecContext* encoder) override { return writer_.AddStream(encoder); }
    void Begin() override { writer_.Begin(); begun_ = true; }
    void Write(AVPacket* pkt, int stream, AVRational tb) override { writer_.Write(pkt, stream, tb); }
    void Finish() override { writer_.Finish(); }
    bool Begun() const override { return begun_; }
    std::string Name() const override { return target_; }

private:
    std::string target_;
    av::RmWriter writer_;
    bool begun_ = false;
};

// The URL and options of a server output. transport 1: HTTP POST to
// http://name:port/file with basic authentication when a user is given;
// 0: UDP datagrams to name:port.
struct TServerTarget {
    std::string Url;
    av::FileInfoList Options;
};
TServerTarget MakeServerTarget(const std::string& name, int port, const std::string& file, const std::string& user,
                               const std::string& password, int transport);

}  // namespace vandrex
