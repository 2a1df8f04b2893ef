// The 5,000 small AVI files of the batch benchmarks: a few shapes, with and without audio and
// software text, some cut short. bench/batch_bench.cpp times plovik-report over them, and
// plovik_batch_files writes them for the Python benchmark.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/avi_writer.h"

namespace plovik::bench {

constexpr int kBatchFiles = 5000;

inline std::vector<std::string> BatchShapes() {
    using plovik::test::BuildSimpleAvi;
    return {
        BuildSimpleAvi({.frames = 50, .keyInterval = 12}),
        BuildSimpleAvi({.frames = 30, .audio = false, .software = "Bench Encoder"}),
        BuildSimpleAvi({.frames = 75, .keyInterval = 7, .software = "Lavf59.27.100"}),
        BuildSimpleAvi({.frames = 40}).substr(0, 900),
    };
}

// "clip00042.avi"
inline std::string BatchFileName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "clip%05d.avi", i);
    return name;
}

}  // namespace plovik::bench
