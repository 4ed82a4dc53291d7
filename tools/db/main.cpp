#include <iostream>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "tools/db/DbTool.h"

int main(int argc, char** argv) {
    // Qt SQL loads its database drivers as plug-ins through the application.
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tovanel::DbMain(args, std::cout, std::cerr);
}
