// velora-mkupg: packs firmware records into an upgrade file.

#include <iostream>
#include <string>
#include <vector>

#include "app/mkupg/mkupg.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto options = velora::mkupg::parseArguments(args, std::cerr);
    if (!options) return velora::mkupg::kError;
    return velora::mkupg::run(*options, std::cout, std::cerr);
}
