#include <cstdio>
#include <exception>

#include "tools/mkdisc/mkdisc.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kavrel-mkdisc DIR\n");
        return 2;
    }
    try {
        kavrel::mkdisc::writeSampleDisc(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kavrel-mkdisc: %s\n", e.what());
        return 1;
    }
    return 0;
}
