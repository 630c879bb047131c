#pragma once

#include <QString>

// The user's base folders as the XDG base-directory rules define them: the variable when it holds an
// absolute path, otherwise the default below the home folder. A relative value is ignored, never
// taken relative to whatever the current folder happens to be.
namespace XdgPaths {

// $XDG_DATA_HOME, else ~/.local/share.
QString dataHome();
// $XDG_CONFIG_HOME, else ~/.config.
QString configHome();

} // namespace XdgPaths
