#pragma once
// The settings of the producer control, each with its type and dispatch id.
// Booleans are WordBool: -1 true, 0 false (any non-zero value reads as true).

#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>
#include <optional>

namespace vandrex {

using WordBool = std::int16_t;
constexpr WordBool kWordTrue = -1;
constexpr WordBool kWordFalse = 0;
inline WordBool ToWordBool(bool b) { return b ? kWordTrue : kWordFalse; }

// X(type, name, dispatch id, default). Ids the window never writes are
// numbered within their block.
#define VANDREX_PRODUCER_SETTINGS(X)                           \
    X(int, InputType, 3151, 0)                                 \
    X(QString, InputFilename, 3152, QString())                 \
    X(int, InputCaptureVideoDriver, 3154, 0)                   \
    X(int, InputCaptureAudioDriver, 3155, 0)                   \
    X(WordBool, InputDoVideo, 3156, kWordTrue)                 \
    X(WordBool, DoOutputFile, 3201, kWordTrue)                 \
    X(WordBool, DoOutputServer, 3202, kWordFalse)              \
    X(QString, OutputFilename, 3203, QString())                \
    X(QString, TempDirectory, 3204, QString())                 \
    X(QString, ServerName, 3205, QString())                    \
    X(int, ServerPort, 3206, 80)                               \
    X(QString, ServerFilename, 3207, QString())                \
    X(QString, ServerUsername, 3208, QString())                \
    X(QString, ServerPassword, 3209, QString())                \
    X(int, ServerTransport, 3210, 1)                           \
    X(QString, Title, 3251, QString())                         \
    X(QString, Author, 3252, QString())                        \
    X(QString, Copyright, 3253, QString())                     \
    X(QString, Description, 3254, QString())                   \
    X(QString, Keywords, 3255, QString())                      \
    X(int, Rating, 3256, 0)                                    \
    X(WordBool, Indexable, 3257, kWordTrue)                    \
    X(WordBool, SelectiveRecord, 3258, kWordTrue)              \
    X(WordBool, MobilePlay, 3259, kWordFalse)                  \
    X(WordBool, VideoCroppingEnabled, 3351, kWordFalse)        \
    X(int, VideoCropLeft, 3353, 0)                             \
    X(int, VideoCropTop, 3354, 0)                              \
    X(int, VideoCropWidth, 3355, 0)                            \
    X(int, VideoCropHeight, 3356, 0)                           \
    X(int, VideoOutputWidth, 3357, 0)                          \
    X(int, VideoOutputHeight, 3358, 0)                         \
    X(int, VideoNoiseFiltering, 3359, 0)                       \
    X(WordBool, Target28KModem, 3401, kWordFalse)              \
    X(WordBool, Target56KModem, 3402, kWordTrue)               \
    X(WordBool, TargetSingleISDN, 3403, kWordFalse)            \
    X(WordBool, TargetDualISDN, 3404, kWordFalse)              \
    X(WordBool, TargetDSLCableModem, 3405, kWordFalse)         \
    X(WordBool, TargetLAN, 3406, kWordFalse)                   \
    X(int, AudioContent, 3407, 0)                              \
    X(int, VideoQuality, 3408, 0)                              \
    X(WordBool, EmphasizeAudio, 3411, kWordFalse)              \
    X(WordBool, DoAudioOnlyMultimedia, 3412, kWordFalse)       \
    X(WordBool, Target256KDSLCableModem, 3413, kWordFalse)     \
    X(WordBool, Target384KDSLCableModem, 3414, kWordFalse)     \
    X(WordBool, TwoPassEncoding, 3801, kWordFalse)             \
    X(WordBool, VbrEncoding, 3802, kWordFalse)                 \
    X(int, MaxTimeBetweenKeyframes, 3804, 15000)               \
    X(WordBool, LossProtection, 3805, kWordFalse)              \
    X(WordBool, DeInterlaceFilter, 3808, kWordFalse)

// Dispatch ids as constants: kDispInputType == 3151 ...
namespace dispid {
#define VANDREX_DISPID(type, name, id, def) constexpr int k##name = id;
VANDREX_PRODUCER_SETTINGS(VANDREX_DISPID)
#undef VANDREX_DISPID
constexpr int kStartTime = 4410;
constexpr int kEndTime = 4411;
}  // namespace dispid

// All settings as plain values, copied to the worker at a start.
struct TProducerSettings {
#define VANDREX_FIELD(type, name, id, def) type name = def;
    VANDREX_PRODUCER_SETTINGS(VANDREX_FIELD)
#undef VANDREX_FIELD

    // Writes a setting by name from a variant (text, number or Boolean), for
    // the command line and recorded profiles. Booleans accept -1/0, 1/0,
    // true/false. Returns false for an unknown name or a value of the wrong
    // kind, changing nothing.
    bool SetByName(const QString& name, const QVariant& value);
    std::optional<QVariant> GetByName(const QString& name) const;
    static int DispatchId(const QString& name);  // 0 for an unknown name
};

// The audience numbers in the order of their target properties.
enum TAudience : int {
    kAudience28K = 0,
    kAudience56K = 1,
    kAudienceSingleISDN = 2,
    kAudienceDualISDN = 3,
    kAudienceLAN = 4,
    kAudienceDSLCable = 5,
    kAudience256KDSL = 6,
    kAudience384KDSL = 7,
    kAudienceCount = 8
};

// Audience of a target property name ("Target56KModem" -> 1), -1 for others.
int AudienceOfTarget(const QString& propertyName);

// One audience: the target bitrate (Kbit/s) and maximum frame rate, in
// single precision as the control's settings object takes them.
struct TAudienceSettings {
    float TargetBitrate = 0;
    float MaxFrameRate = 0;
    void SetTargetBitrate(float kbits) { TargetBitrate = kbits; }
    void SetMaxFrameRate(float fps) { MaxFrameRate = fps; }
    float GetTargetBitrate() const { return TargetBitrate; }
    float GetMaxFrameRate() const { return MaxFrameRate; }
};

// The default of each audience: a rate that fits its line with room to spare.
std::array<TAudienceSettings, kAudienceCount> DefaultAudiences();

}  // namespace vandrex
