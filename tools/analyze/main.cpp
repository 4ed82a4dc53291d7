#include <iostream>
#include <string>
#include <vector>

#include "tools/analyze/AnalyzeTool.h"
#include "tools/analyze/FileInput.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Standard input through read(2), so that a read error is told apart
    // from its end.
    tovanel::FdInputBuf stdinBuffer(0, false);
    std::istream in(&stdinBuffer);
    return tovanel::AnalyzeMain(args, in, std::cout, std::cerr);
}
