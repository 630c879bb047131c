#pragma once

#include <QKeyCombination>
#include <QString>

// The X keysym of a Qt key (lower case for letters), 0 for keys it has none for.
quint32 keysymForKey(int key);

// A key combination as the XDG shortcut format writes it ("ALT+space", "CTRL+SHIFT+v", "LOGO+F1");
// empty when the key has no keysym.
QString xdgTrigger(QKeyCombination combination);

// Whether a combination may be grabbed for the whole desktop: it holds Ctrl, Alt or Super, or it is a
// function key F1-F24 pressed alone. Anything else would take a key away from typing in every program.
bool isGlobalShortcutAllowed(QKeyCombination combination);

// A stored shortcut text ("⌃ + ⇧ + V", "⌥ + Space", "⌥ +  ") in the names Linux desktops use
// ("Ctrl + Shift + V", "Alt + Space"). Text it cannot read is returned unchanged.
QString shortcutDisplayText(const QString& stored);
