// vandrex-modem LINK [--listen [ADDR:]PORT] [--rate BPS] [--log FILE] [--ignore-dtr]
// A Hayes modem on a pseudo-terminal reached through LINK; see hayesemulator.h.
#include <cstdio>
#include <string>

#include "tools/vandrex-modem/hayesemulator.h"

int main(int argc, char** argv) {
    vandrex::modem::TOptions options;
    std::string error;
    if (!vandrex::modem::ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "vandrex-modem: %s\n", error.c_str());
        return 2;
    }
    return vandrex::modem::RunEmulator(options);
}
