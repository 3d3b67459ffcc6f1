#include "media/producersettings.h"

namespace vandrex {

namespace {

bool Convert(const QVariant& v, QString& out) {
    out = v.toString();
    return true;
}

bool Convert(const QVariant& v, int& out) {
    bool ok = false;
    int n = v.toString().trimmed().toInt(&ok);
    if (!ok && v.typeId() == QMetaType::Bool) { n = v.toBool() ? -1 : 0; ok = true; }
    if (ok) out = n;
    return ok;
}

bool Convert(const QVariant& v, WordBool& out) {
    if (v.typeId() == QMetaType::Bool) { out = ToWordBool(v.toBool()); return true; }
    const QString t = v.toString().trimmed().toLower();
    if (t == "true") { out = kWordTrue; return true; }
    if (t == "false") { out = kWordFalse; return true; }
    bool ok = false;
    int n = t.toInt(&ok);
    if (!ok) return false;
    out = ToWordBool(n != 0);
    return true;
}

}  // namespace

bool TProducerSettings::SetByName(const QString& name, const QVariant& value) {
#define VANDREX_SET(type, field, id, def)  \
    if (name == QLatin1String(#field)) {    \
        type converted{};                  \
        if (!Convert(value, converted)) return false; \
        field = converted;                 \
        return true;                       \
    }
    VANDREX_PRODUCER_SETTINGS(VANDREX_SET)
#undef VANDREX_SET
    return false;
}

std::optional<QVariant> TProducerSettings::GetByName(const QString& name) const {
#define VANDREX_GET(type, field, id, def) \
    if (name == QLatin1String(#field)) return QVariant::fromValue(field);
    VANDREX_PRODUCER_SETTINGS(VANDREX_GET)
#undef VANDREX_GET
    return std::nullopt;
}

int TProducerSettings::DispatchId(const QString& name) {
#define VANDREX_ID(type, field, id, def) \
    if (name == QLatin1String(#field)) return id;
    VANDREX_PRODUCER_SETTINGS(VANDREX_ID)
#undef VANDREX_ID
    return 0;
}

int AudienceOfTarget(const QString& n) {
    if (n == "Target28KModem") return kAudience28K;
    if (n == "Target56KModem") return kAudience56K;
    if (n == "TargetSingleISDN") return kAudienceSingleISDN;
    if (n == "TargetDualISDN") return kAudienceDualISDN;
    if (n == "TargetLAN") return kAudienceLAN;
    if (n == "TargetDSLCableModem") return kAudienceDSLCable;
    if (n == "Target256KDSLCableModem") return kAudience256KDSL;
    if (n == "Target384KDSLCableModem") return kAudience384KDSL;
    return -1;
}

std::array<TAudienceSettings, kAudienceCount> DefaultAudiences() {
    // Kbit/s and frames/s; each leaves headroom below its line's capacity.
    return {{{20.0f, 7.5f},     // 28.8K modem
             {34.0f, 10.0f},    // 56K modem
             {45.0f, 15.0f},    // single ISDN, 64K
             {80.0f, 15.0f},    // dual ISDN, 128K
             {150.0f, 25.0f},   // LAN
             {450.0f, 25.0f},   // DSL / cable
             {225.0f, 25.0f},   // 256K DSL
             {350.0f, 25.0f}}}; // 384K DSL
}

}  // namespace vandrex
