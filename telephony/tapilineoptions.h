#pragma once
// TTAPILineOptions: the options window's view of the line component Modem1
// (TPhoneOptionsLine over TTAPILine). The window sees device names, icons and
// the line's settings; a changed device goes through the component's own
// setter, so an unusable one shows its message and the old device stays.

#include "telephony/phoneoptions.h"

namespace vandrex {

class TTAPILine;

class TTAPILineOptions : public TPhoneOptionsLine {
public:
    // line is not owned and must outlive this object.
    explicit TTAPILineOptions(TTAPILine& line) : line_(line) {}

    QStringList GetLineNames() override;
    QPixmap LineIcon(int device) override;
    int DevIdToInitialize() const override;
    void SetDevIdToInitialize(int device) override;
    bool DeviceDirectAccess() const override;
    void SetDeviceDirectAccess(bool on) override;
    bool WaitForCall() const override;
    void SetWaitForCall(bool on) override;
    QString DirectAccessLogFile() const override;
    void SetDirectAccessLogFile(const QString& path) override;
    QStringList DirectAccessScript() const override;
    void SetDirectAccessScript(const QStringList& lines) override;
    void Open() override;

    // Edge of the picture Image1 shows.
    static constexpr int kIconSize = 24;

private:
    TTAPILine& line_;
};

}  // namespace vandrex
