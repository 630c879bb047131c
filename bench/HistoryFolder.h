#pragma once

#include "core/StorageManager.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakePasteboard.h"

#include <QTemporaryDir>

// A history, its preferences and a stand-in clipboard in a folder of their own, gone with the object.
struct HistoryFolder
{
    QTemporaryDir dir;
    StorageManager storage{dir.filePath(QStringLiteral("Pellamor"))};
    FakePasteboard pasteboard;
    Preferences preferences{dir.filePath(QStringLiteral("prefs.conf"))};
};
