#include "telephony/tapilineoptions.h"

#include <QIcon>

#include "telephony/tapiline.h"

namespace vandrex {

QStringList TTAPILineOptions::GetLineNames() {
    QStringList names;
    line_.GetLineNames(names);
    return names;
}

QPixmap TTAPILineOptions::LineIcon(int device) {
    const QIcon icon = line_.LineIcon(device);
    return icon.isNull() ? QPixmap() : icon.pixmap(kIconSize, kIconSize);
}

int TTAPILineOptions::DevIdToInitialize() const { return line_.DevIdToInitialize(); }

// An empty list gives -1, which the component finds unusable and so keeps
// the device in use.
void TTAPILineOptions::SetDevIdToInitialize(int device) { line_.SetDevIdToInitialize(device); }

bool TTAPILineOptions::DeviceDirectAccess() const { return line_.DeviceDirectAccess; }
void TTAPILineOptions::SetDeviceDirectAccess(bool on) { line_.DeviceDirectAccess = on; }
bool TTAPILineOptions::WaitForCall() const { return line_.WaitForCall; }
void TTAPILineOptions::SetWaitForCall(bool on) { line_.WaitForCall = on; }
QString TTAPILineOptions::DirectAccessLogFile() const { return line_.DirectAccessLogFile; }
void TTAPILineOptions::SetDirectAccessLogFile(const QString& path) { line_.DirectAccessLogFile = path; }
QStringList TTAPILineOptions::DirectAccessScript() const { return line_.DirectAccessScript(); }
void TTAPILineOptions::SetDirectAccessScript(const QStringList& lines) { line_.SetDirectAccessScript(&lines); }
void TTAPILineOptions::Open() { line_.Open(); }

}  // namespace vandrex
