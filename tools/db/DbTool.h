// tovanel-db: the code database from the command line, for scripts and for
// machines without a display.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tovanel {

const char* DbUsage();

// The whole program; returns the exit status: 0 done, 1 the database
// failed or has no such unit or key, 2 bad usage. Needs a Qt application
// object (Qt SQL loads its drivers as plug-ins).
int DbMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tovanel
