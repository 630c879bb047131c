#include "ClipboardSnapshot.h"

namespace ClipboardReading {

Outcome readOffered(const QList<QByteArray>& offered, const QStringList& valueTypes, const Fetch& fetch,
                    ClipboardSnapshot& snapshot)
{
    for (const QByteArray& name : offered) {
        const QString type = QString::fromUtf8(name);
        if (!snapshot.types.contains(type))
            snapshot.types.append(type);
    }

    QByteArray bytes;
    // Reads one offered type into values[key]; only a lost owner or a newer change stops the whole change.
    const auto read = [&](const QByteArray& name, const QString& key) -> Outcome {
        bytes.clear();
        const Outcome result = fetch(name, bytes);
        if (result == Outcome::Done)
            snapshot.values.insert(key, bytes);
        else if (result == Outcome::TooLarge)
            return Outcome::Refused;
        return result;
    };
    const auto stops = [](Outcome outcome) { return outcome != Outcome::Done && outcome != Outcome::Refused; };

    for (const QString& marker : valueTypes) {
        const QByteArray name = marker.toUtf8();
        if (!offered.contains(name))
            continue;
        if (const Outcome outcome = read(name, marker); stops(outcome))
            return outcome;
    }

    const QString plainText = QStringLiteral("text/plain");
    for (const QByteArray& name : {QByteArrayLiteral("UTF8_STRING"), QByteArrayLiteral("text/plain;charset=utf-8"),
                                   QByteArrayLiteral("text/plain"), QByteArrayLiteral("STRING")}) {
        if (!offered.contains(name))
            continue;
        const Outcome outcome = read(name, plainText);
        if (stops(outcome))
            return outcome;
        if (outcome != Outcome::Done)
            continue;
        // STRING is Latin-1 by definition; everything else here is UTF-8.
        if (name == "STRING")
            snapshot.values.insert(plainText, QString::fromLatin1(snapshot.values.value(plainText)).toUtf8());
        if (!snapshot.types.contains(plainText))
            snapshot.types.append(plainText);
        break;
    }

    QList<QByteArray> wanted = {"text/uri-list", "image/png", "image/tiff"};
    if (!offered.contains("image/png") && !offered.contains("image/tiff")) {
        for (const QByteArray& name : offered) {
            if (name.startsWith("image/")) {
                wanted.append(name);
                break;
            }
        }
    }
    for (const QByteArray& name : std::as_const(wanted)) {
        if (!offered.contains(name))
            continue;
        if (const Outcome outcome = read(name, QString::fromUtf8(name)); stops(outcome))
            return outcome;
    }
    return Outcome::Done;
}

} // namespace ClipboardReading
