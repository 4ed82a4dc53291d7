#include <iostream>
#include <string>
#include <vector>

#include "tools/analyze/AnalyzeTool.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tovanel::AnalyzeMain(args, std::cin, std::cout, std::cerr);
}
