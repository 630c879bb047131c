#pragma once

#include "ClipboardTool.h"

// xclip as the other application on X11.
class Xclip : public ClipboardTool
{
public:
    // Offers `data` as `target` on `selection`, as a copy in another application does.
    [[nodiscard]] bool offer(const QByteArray& data, const QString& target = {},
                             const QString& selection = QStringLiteral("clipboard"))
    {
        // Without -quiet xclip forks, and the owner could not be stopped by the test.
        QStringList arguments = {QStringLiteral("-quiet"), QStringLiteral("-selection"), selection,
                                 QStringLiteral("-in")};
        if (!target.isEmpty())
            arguments << QStringLiteral("-target") << target;
        return startOwner(QStringLiteral("xclip"), arguments, data);
    }

    static Output read(const QStringList& arguments, const QString& selection = QStringLiteral("clipboard"))
    {
        return run(QStringLiteral("xclip"),
                   QStringList{QStringLiteral("-selection"), selection, QStringLiteral("-out")} + arguments);
    }
};
