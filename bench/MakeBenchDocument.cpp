// make-bench-document: writes one of the benchmarks' generated documents, for
// measuring whole processes (render-psd, other tools) on them; --tagged
// puts every layer in one group tagged "picture.png", for the export.
//
//   make-bench-document WIDTH HEIGHT DEPTH OUT.psd [--tagged]
#include "BenchDocuments.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const bool tagged = argc == 6 && std::string(argv[5]) == "--tagged";
    if (argc != 5 && !tagged) {
        std::fprintf(stderr, "usage: make-bench-document WIDTH HEIGHT DEPTH OUT.psd [--tagged]\n");
        return 2;
    }
    BenchDocumentSpec spec{uint32_t(std::strtoul(argv[1], nullptr, 10)),
                           uint32_t(std::strtoul(argv[2], nullptr, 10)),
                           uint16_t(std::strtoul(argv[3], nullptr, 10)), tagged};
    std::string error;
    if (!WriteBenchDocument(spec, argv[4], &error)) {
        std::fprintf(stderr, "make-bench-document: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
