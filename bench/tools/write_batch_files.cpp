// plovik_batch_files DIR: writes the 5,000 small files of the batch benchmarks into DIR (which
// must exist), for benchmarks outside the bench program (bench/python_inspect_bench.py).
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "batch_files.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: plovik_batch_files DIR\n");
        return 2;
    }
    const std::vector<std::string> shapes = plovik::bench::BatchShapes();
    for (int i = 0; i < plovik::bench::kBatchFiles; ++i) {
        const std::string& bytes = shapes[i % shapes.size()];
        std::ofstream file(std::string(argv[1]) + "/" + plovik::bench::BatchFileName(i),
                           std::ios::binary);
        if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
            std::fprintf(stderr, "plovik_batch_files: cannot write into %s\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
