// The golden AVI files of tests/data and their expected reports.
#pragma once

#include <string>
#include <vector>

namespace plovik::test {

struct GoldenFile {
    std::string aviPath;   // UTF-8
    std::string expected;  // the expected report, UTF-8, lines ending in "\n"
};

// Every tests/data/*.avi under $PLOVIK_SOURCE_DIR with its NAME.report.txt, sorted by name;
// empty (and a test failure) when the directory cannot be found.
std::vector<GoldenFile> LoadGoldenFiles();

}  // namespace plovik::test
