#pragma once

#include <QString>

// Whether the machine runs on its battery, as far as the kernel's power-supply class tells cheaply:
// a battery is present and every mains supply is offline. Where there is no such class, no battery or no
// mains supply to ask, the answer is no. Reads a few small files on each call; nothing is watched.
namespace PowerSupply {

bool onBattery(const QString& root = QStringLiteral("/sys/class/power_supply"));

} // namespace PowerSupply
