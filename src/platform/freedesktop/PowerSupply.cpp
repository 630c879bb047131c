#include "platform/freedesktop/PowerSupply.h"

#include <QDir>
#include <QFile>

namespace PowerSupply {

namespace {

QByteArray attribute(const QDir& supply, const char* name)
{
    QFile file(supply.filePath(QString::fromLatin1(name)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(64).trimmed();
}

} // namespace

bool onBattery(const QString& root)
{
    bool battery = false;
    bool mains = false;
    bool mainsOnline = false;
    const QDir dir(root);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QDir supply(dir.filePath(name));
        const QByteArray type = attribute(supply, "type");
        if (type == "Battery") {
            // A battery of a mouse or a headset is not the machine's own.
            if (attribute(supply, "scope") != "Device" && attribute(supply, "present") != "0")
                battery = true;
        } else if (type == "Mains") {
            mains = true;
            mainsOnline = mainsOnline || attribute(supply, "online") == "1";
        }
    }
    return battery && mains && !mainsOnline;
}

} // namespace PowerSupply
