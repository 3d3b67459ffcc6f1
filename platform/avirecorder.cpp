#include "platform/avirecorder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/rational.h>
#include <libswscale/swscale.h>
}

namespace vandrex {

namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Blue-green-red rows to full-range BT.601 4:2:0, as JPEG has it; chroma is
// the mean of each 2 x 2 block (the last column or row is repeated on odd
// sizes). Integer weights summing to 1 << 16; a plain loop is about twice as
// fast as the library's accurate generic path here.
void BgrToYuvj420(const std::uint8_t* bgr, int width, int height, AVFrame* out) {
    const std::size_t stride = std::size_t(width) * 3;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = bgr + std::size_t(y) * stride;
        std::uint8_t* Y = out->data[0] + std::ptrdiff_t(y) * out->linesize[0];
        for (int x = 0; x < width; ++x, p += 3)
            Y[x] = std::uint8_t((7471 * p[0] + 38470 * p[1] + 19595 * p[2] + 32768) >> 16);
    }
    for (int cy = 0; cy < (height + 1) / 2; ++cy) {
        const std::uint8_t* r0 = bgr + std::size_t(2 * cy) * stride;
        const std::uint8_t* r1 = bgr + std::size_t(std::min(2 * cy + 1, height - 1)) * stride;
        std::uint8_t* U = out->data[1] + std::ptrdiff_t(cy) * out->linesize[1];
        std::uint8_t* V = out->data[2] + std::ptrdiff_t(cy) * out->linesize[2];
        for (int cx = 0; cx < (width + 1) / 2; ++cx) {
            const std::size_t a = std::size_t(2 * cx) * 3;
            const std::size_t b = std::size_t(std::min(2 * cx + 1, width - 1)) * 3;
            const int B = r0[a] + r0[b] + r1[a] + r1[b];
            const int G = r0[a + 1] + r0[b + 1] + r1[a + 1] + r1[b + 1];
            const int R = r0[a + 2] + r0[b + 2] + r1[a + 2] + r1[b + 2];
            // Four pixels summed: shift by 18; rounding, then the 128 offset.
            // Pure blue and red reach 256.
            U[cx] = std::uint8_t(std::min(255, 128 + ((32768 * B - 21709 * G - 11059 * R + (1 << 17)) >> 18)));
            V[cx] = std::uint8_t(std::min(255, 128 + ((-5329 * B - 27439 * G + 32768 * R + (1 << 17)) >> 18)));
        }
    }
}

}  // namespace

TAviRecorder::TAviRecorder() = default;
TAviRecorder::~TAviRecorder() {
    if (output_) Close();
    Free();
}

void TAviRecorder::Free() {
    if (scaler_) sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_frame_free(&picture_);
    av_frame_free(&sound_);
    av_packet_free(&packet_);
    avcodec_free_context(&video_);
    avcodec_free_context(&audio_);
    if (output_) {
        if (output_->pb) avio_closep(&output_->pb);
        avformat_free_context(output_);
        output_ = nullptr;
    }
    videoStream_ = audioStream_ = nullptr;
}

bool TAviRecorder::Open(const std::string& path, const TAviSettings& s, std::string& error) {
    Free();
    settings_ = s;
    samplesWritten_ = 0;
    pendingAudio_.clear();
    failed_ = false;
    auto fail = [&](const std::string& why) {
        error = why;
        Free();
        return false;
    };
    if (s.Width < 2 || s.Height < 2 || s.MicroSecPerFrame == 0) return fail("no picture size or frame period");
    int rc = avformat_alloc_output_context2(&output_, nullptr, "avi", path.c_str());
    if (rc < 0 || !output_) return fail("AVI output: " + AvError(rc));

    const AVCodec* mjpeg = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!mjpeg) return fail("no Motion JPEG encoder");
    video_ = avcodec_alloc_context3(mjpeg);
    int num = 0, den = 0;
    av_reduce(&num, &den, s.MicroSecPerFrame, 1000000, 1 << 30);
    video_->time_base = {num, den};
    video_->framerate = {den, num};
    video_->width = s.Width & ~1;
    video_->height = s.Height & ~1;
    video_->pix_fmt = AV_PIX_FMT_YUV420P;  // full range, as JPEG has it
    video_->color_range = AVCOL_RANGE_JPEG;
    video_->flags |= AV_CODEC_FLAG_QSCALE;
    const int q = 2 + (100 - std::clamp(s.Quality, 1, 100)) * 29 / 99;
    video_->global_quality = FF_QP2LAMBDA * q;
    video_->thread_count = 1;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((rc = avcodec_open2(video_, mjpeg, nullptr)) < 0) return fail("Motion JPEG encoder: " + AvError(rc));
    videoStream_ = avformat_new_stream(output_, nullptr);
    videoStream_->time_base = video_->time_base;
    avcodec_parameters_from_context(videoStream_->codecpar, video_);

    if (s.Audio) {
        const bool wide = s.Wave.BitsPerSample == 16;
        const AVCodec* pcm = avcodec_find_encoder(wide ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8);
        if (!pcm) return fail("no PCM encoder");
        audio_ = avcodec_alloc_context3(pcm);
        audio_->sample_fmt = wide ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_U8;
        audio_->sample_rate = int(s.Wave.SamplesPerSec);
        av_channel_layout_default(&audio_->ch_layout, s.Wave.Channels);
        audio_->time_base = {1, audio_->sample_rate};
        if ((rc = avcodec_open2(audio_, pcm, nullptr)) < 0) return fail("PCM encoder: " + AvError(rc));
        audioStream_ = avformat_new_stream(output_, nullptr);
        audioStream_->time_base = audio_->time_base;
        avcodec_parameters_from_context(audioStream_->codecpar, audio_);
        sound_ = av_frame_alloc();
    }

    if ((rc = avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) return fail(path + ": " + AvError(rc));
    if ((rc = avformat_write_header(output_, nullptr)) < 0) return fail("AVI header: " + AvError(rc));
    picture_ = av_frame_alloc();
    picture_->format = video_->pix_fmt;
    picture_->width = video_->width;
    picture_->height = video_->height;
    picture_->color_range = AVCOL_RANGE_JPEG;
    if (av_frame_get_buffer(picture_, 0) < 0) return fail("out of memory");
    packet_ = av_packet_alloc();
    return true;
}

bool TAviRecorder::Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    if (avcodec_send_frame(codec, frame) < 0) return false;
    for (;;) {
        const int rc = avcodec_receive_packet(codec, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return false;
        av_packet_rescale_ts(packet_, codec->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        if (av_interleaved_write_frame(output_, packet_) < 0) return false;
    }
}

bool TAviRecorder::WriteVideo(const TVideoFrame& frame, std::int64_t index) {
    if (!output_ || failed_) return false;
    if (av_frame_make_writable(picture_) < 0) return !(failed_ = true);
    if (frame.Width == picture_->width && frame.Height == picture_->height) {
        BgrToYuvj420(frame.Pixels.data(), frame.Width, frame.Height, picture_);
    } else {
        if (!scaler_ || frame.Width != scalerWidth_ || frame.Height != scalerHeight_) {
            // Made once per frame size: setting the range rebuilds the
            // context's tables.
            sws_freeContext(scaler_);
            scaler_ = sws_getContext(frame.Width, frame.Height, AV_PIX_FMT_BGR24, picture_->width,
                                     picture_->height, AV_PIX_FMT_YUV420P,
                                     // The fast unscaled path would ignore the full range.
                                     SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
            if (!scaler_) return !(failed_ = true);
            const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(scaler_, bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
            scalerWidth_ = frame.Width;
            scalerHeight_ = frame.Height;
        }
        const std::uint8_t* planes[1] = {frame.Pixels.data()};
        const int strides[1] = {frame.Width * 3};
        sws_scale(scaler_, planes, strides, 0, frame.Height, picture_->data, picture_->linesize);
    }
    picture_->pts = index;
    picture_->quality = video_->global_quality;
    if (!Encode(video_, videoStream_, picture_)) failed_ = true;
    return !failed_;
}

bool TAviRecorder::WriteAudio(const std::uint8_t* data, std::size_t bytes) {
    if (!output_ || failed_ || !audio_) return false;
    const std::size_t align = settings_.Wave.BlockAlign ? settings_.Wave.BlockAlign : 1;
    pendingAudio_.insert(pendingAudio_.end(), data, data + bytes);
    const int samples = int(pendingAudio_.size() / align);
    if (samples == 0) return true;
    av_frame_unref(sound_);
    sound_->nb_samples = samples;
    sound_->format = audio_->sample_fmt;
    sound_->sample_rate = audio_->sample_rate;
    av_channel_layout_copy(&sound_->ch_layout, &audio_->ch_layout);
    if (av_frame_get_buffer(sound_, 0) < 0) return !(failed_ = true);
    std::memcpy(sound_->data[0], pendingAudio_.data(), std::size_t(samples) * align);
    pendingAudio_.erase(pendingAudio_.begin(), pendingAudio_.begin() + std::ptrdiff_t(std::size_t(samples) * align));
    sound_->pts = samplesWritten_;
    samplesWritten_ += samples;
    if (!Encode(audio_, audioStream_, sound_)) failed_ = true;
    return !failed_;
}

bool TAviRecorder::Close() {
    if (!output_) return false;
    if (!failed_) {
        if (!Encode(video_, videoStream_, nullptr)) failed_ = true;
        if (audio_ && !Encode(audio_, audioStream_, nullptr)) failed_ = true;
    }
    if (av_write_trailer(output_) < 0) failed_ = true;
    if (output_->pb && output_->pb->error < 0) failed_ = true;
    const bool ok = !failed_;
    Free();
    return ok;
}

}  // namespace vandrex
