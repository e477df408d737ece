// rezurudev-board-gen SOURCE TARGET MEGABYTES: a board of that size made from SOURCE.
#include "board_generator.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: rezurudev-board-gen SOURCE.kicad_pcb TARGET.kicad_pcb MEGABYTES\n",
                   stderr);
        return 3;
    }
    const double megabytes = std::strtod(argv[3], nullptr);
    if (!(megabytes > 0)) {
        std::fputs("MEGABYTES must be a positive number\n", stderr);
        return 3;
    }
    std::string why;
    if (!rzbench::GenerateBoard(argv[1], argv[2], static_cast<uint64_t>(megabytes * 1024 * 1024),
                                why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    return 0;
}
