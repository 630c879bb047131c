#pragma once

#include "ClipboardTool.h"

// wl-copy and wl-paste as the other application on Wayland.
class WlClipboard : public ClipboardTool
{
public:
    // Offers `data` as `type` (wl-copy's guess when empty), as a copy in another application does.
    [[nodiscard]] bool offer(const QByteArray& data, const QString& type = {})
    {
        // Without --foreground wl-copy forks, and the owner could not be stopped by the test.
        QStringList arguments = {QStringLiteral("--foreground")};
        if (!type.isEmpty())
            arguments << QStringLiteral("--type") << type;
        return startOwner(QStringLiteral("wl-copy"), arguments, data);
    }

    static Output read(const QString& type = {})
    {
        QStringList arguments = {QStringLiteral("--no-newline")};
        if (!type.isEmpty())
            arguments << QStringLiteral("--type") << type;
        return run(QStringLiteral("wl-paste"), arguments);
    }

    static QStringList types()
    {
        const Output output = run(QStringLiteral("wl-paste"), {QStringLiteral("--list-types")});
        return QString::fromUtf8(output.data).split(u'\n', Qt::SkipEmptyParts);
    }
};
