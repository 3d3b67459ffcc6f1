#include "app/standins.h"

#include <QDir>
#include <QFile>

namespace vandrex {

QStringList TCaptureStandIn::DriverNames() const {
    QStringList drivers{QStringLiteral("Vandrex Test Pattern")};
    QDir sys(QStringLiteral("/sys/class/video4linux"));
    const QStringList devices = sys.entryList({QStringLiteral("video*")}, QDir::Dirs | QDir::System, QDir::Name);
    for (const QString& device : devices) {
        QFile name(sys.filePath(device + QStringLiteral("/name")));
        if (name.open(QIODevice::ReadOnly)) drivers << QString::fromUtf8(name.readAll()).trimmed();
    }
    return drivers;
}

}  // namespace vandrex
