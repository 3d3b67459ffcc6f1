#include "imaging/driverchoice.h"

#include "imaging/videocap.h"

namespace vandrex {

int TDriverChoice::FormCreate(TVideoCap& cap) {
    Drivers = ListCaptureDrivers();
    cap.SetDriverOpen(false);
    return cap.DriverIndex();
}

void TDriverChoice::SwitchOn(TVideoCap& cap, int chosenIndex) {
    Drivers.clear();
    cap.SetDriverIndex(chosenIndex);
    cap.SetDriverOpen(true);
    cap.SetVideoPreview(true);
}

void TDriverChoice::SwitchOff(TVideoCap& cap) {
    cap.SetDriverOpen(false);
    Drivers.clear();
}

}  // namespace vandrex
