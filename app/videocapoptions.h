#pragma once
// TVideoCapOptions: the options window's view of the capture component
// VideoCap1 (TPhoneOptionsCapture over TCaptureInterface). For the real
// TVideoCap the driver list and the disconnection of FormCreate go through
// TDriverChoice; any other capture component gives its DriverNames.

#include <QStringList>

#include "imaging/driverchoice.h"
#include "telephony/phoneoptions.h"

namespace vandrex {

class TCaptureInterface;

class TVideoCapOptions : public TPhoneOptionsCapture {
public:
    // capture is not owned and must outlive this object.
    explicit TVideoCapOptions(TCaptureInterface& capture) : capture_(capture) {}

    QStringList ListCaptureDrivers() override;
    int DriverIndex() const override;
    void SetDriverIndex(int index) override;
    void SetDriverOpen(bool open) override;
    void SetVideoPreview(bool on) override;

private:
    TCaptureInterface& capture_;
    TDriverChoice choice_;
};

}  // namespace vandrex
