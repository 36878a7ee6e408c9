// korin-fleet: planning a release.
//
//   korin-fleet forecast --machines N --days D --out DIR --offer TREE|DESCRIPTION
//                        [--installer FILE] [--fleet FILE] [--trace FILE] [--threads T]
//   korin-fleet load --tree DIR --mix FILE [--seconds S] [--connections C] [--threads T]
//                    [--forecast DIR] [--headroom H]
//
// `forecast` simulates a fleet with the program's own scheduling and update
// code (docs/PUBLISHING.md, "Forecasting a release"); `load` measures the
// update host's capacity ("Planning a release").

#include "fleet/forecast.h"
#include "fleet/load_command.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 1 ? 2 : argc), argv + argc);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "forecast") {
        return korin::fleet::runForecastCommand(args);
    }
    if (command == "load") {
        return runLoadCommand(args);
    }
    std::cerr << "usage: korin-fleet forecast|load ...\n";
    return 2;
}
