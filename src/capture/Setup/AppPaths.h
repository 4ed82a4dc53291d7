// Where the program's files live: the main executable is `tovanel`, its
// settings file `tovanel.ini` beside it (or under $XDG_CONFIG_HOME/tovanel
// where that folder is not writable, as for an installed program), and its
// default data-link file `tovanel.dsn` beside it. The command-line tools are
// installed beside the main executable and share these files.
#pragma once

#include <string>

namespace tovanel {

// Folder of the running executable.
std::string ExecutableDir();
// Full path of the main executable: ExecutableDir() + "/tovanel".
std::string MainExecutablePath();
// The settings file. $TOVANEL_INI, when set, names it instead.
std::string SettingsFilePath();
// The main executable's path with its extension replaced (".dsn", ".ini").
std::string MainPathWithExtension(const std::string& extension);

}  // namespace tovanel
