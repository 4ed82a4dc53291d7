// tovanel-db: the code database from the command line, for scripts and for
// machines without a display.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "capture/LircTransmitter.h"
#include "tools/analyze/AnalyzeTool.h"

namespace tovanel {

const char* DbUsage();

// What the sending commands use of the machine: the transmitter and the
// wait for the end of a sending (by default until SIGINT or SIGTERM, which
// stop it). Tests put a fake device and a wait of their own in place.
struct DbEnvironment {
    std::function<std::unique_ptr<LircTransmitter>()> transmitter = [] { return std::make_unique<LircTransmitter>(); };
    CaptureWait wait = WaitForStopSignal;
};

// The whole program; returns the exit status: 0 done, 1 the database or
// the transmitter failed or there is no such unit or key, 2 bad usage or
// an unreadable recording, 3 the search found nothing. Needs a Qt
// application object (Qt SQL loads its drivers as plug-ins).
int DbMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const DbEnvironment& environment = {});

}  // namespace tovanel
