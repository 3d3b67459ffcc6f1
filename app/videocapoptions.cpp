#include "app/videocapoptions.h"

#include "imaging/videocap.h"

namespace vandrex {

QStringList TVideoCapOptions::ListCaptureDrivers() {
    if (auto* cap = dynamic_cast<TVideoCap*>(&capture_)) {
        choice_.FormCreate(*cap);
        return choice_.Drivers;
    }
    return capture_.DriverNames();
}

int TVideoCapOptions::DriverIndex() const { return capture_.DriverIndex(); }
void TVideoCapOptions::SetDriverIndex(int index) { capture_.SetDriverIndex(index); }
void TVideoCapOptions::SetDriverOpen(bool open) { capture_.SetDriverOpen(open); }
void TVideoCapOptions::SetVideoPreview(bool on) { capture_.SetVideoPreview(on); }

}  // namespace vandrex
