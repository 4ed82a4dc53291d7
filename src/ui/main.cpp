// tovanel: the desktop program.
#include <iostream>

#include "ui/Main/Program.h"

int main(int argc, char** argv) {
    if (!tovanel::HasDisplay()) {
        std::cerr << "tovanel: no display to open the window on (DISPLAY is not set); "
                     "without one, run it as: xvfb-run "
                  << argv[0] << '\n';
        return 1;
    }
    tovanel::TovanelApplication app(argc, argv);
    tovanel::Program program;
    return program.Run();
}
