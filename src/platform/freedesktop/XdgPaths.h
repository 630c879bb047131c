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

// A folder for sockets and locks that no other user can write: $XDG_RUNTIME_DIR when it is a folder of
// the user's own that others cannot enter; otherwise `fallback`, created with its parents (0700), and
// taken only when it is no link, belongs to the user and is (or could be made) closed to others. Empty
// when neither will do: never the shared temporary folder, where another user could take the name first.
QString privateRuntimeDir(const QString& fallback);
// The fallback the program uses: Pellamor/run in the data folder.
QString programRuntimeDir();

} // namespace XdgPaths
