#pragma once

#include <QKeyCombination>
#include <QString>

// The X keysym of a Qt key (lower case for letters), 0 for keys it has none for.
quint32 keysymForKey(int key);

// A key combination as the XDG shortcut format writes it ("ALT+space", "CTRL+SHIFT+v", "LOGO+F1");
// empty when the key has no keysym.
QString xdgTrigger(QKeyCombination combination);
