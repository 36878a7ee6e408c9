// korin-fleet: planning a release for the people who publish it.
//
//   korin-fleet load --tree DIR --mix FILE [--seconds S] [--connections C] [--threads T]
//                    [--forecast DIR] [--headroom H]

#include "fleet/load_command.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "load") {
        return runLoadCommand({args.begin() + 1, args.end()});
    }
    std::cerr << "usage: korin-fleet load --tree DIR --mix FILE [...]\n";
    return 2;
}
