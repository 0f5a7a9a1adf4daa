// The per-user data folder: where the program keeps its files when started
// from the desktop (a launcher's working folder is no place for them):
// $XDG_DATA_HOME/cellarkey, or ~/.local/share/cellarkey. Created on first
// use, readable by its owner only, since it holds the password list.
#pragma once

#include <string>

namespace ck::app {

// The folder's path from the environment; "" when neither XDG_DATA_HOME
// (an absolute path) nor HOME is set.
std::string UserDataFolder();

// Creates the folder when missing and makes it the current folder. False,
// with *error saying why, when it cannot.
bool EnterUserDataFolder(std::string* error);

}  // namespace ck::app
