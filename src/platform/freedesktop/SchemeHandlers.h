#pragma once

#include <QString>

// Whether the desktop has a program for links of `scheme` ("mailto"): an application that names
// x-scheme-handler/<scheme> among its types, or one the user chose for it, in the folders the XDG
// rules for default applications list.
bool hasSchemeHandler(const QString& scheme);
