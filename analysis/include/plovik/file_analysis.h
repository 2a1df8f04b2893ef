// One file analysed with one open: its headers and index, then, when asked, its movie
// data, all read through the same open file. A file replaced while it is analysed cannot
// give a report of one file and a data scan of another.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plovik/avi_parser.h"
#include "plovik/file_failure.h"
#include "plovik/movie_scan.h"

namespace plovik {

class RawFile;

class CFileAnalysis {
  public:
    struct Options {
        bool scan = false;              // also read the movie data
        CMovieScan::Options data = {};  // how
        bool indexTallies = false;      // what the index lists of every stream
    };

    // Opens the file at strPath (UTF-8) read-only once and analyses it; the parser and the
    // scan keep their results until the next call.
    void Analyse(const std::string& strPath, const Options& options);
    // The same over a file the caller opened (memory in tests and fuzzing).
    void AnalyseOpen(RawFile& file, const std::string& strPath, const Options& options);

    CAviParser m_parser;
    CMovieScan m_scan;
    bool m_bScanned = false;       // m_scan holds this file's scan
    bool m_bIndexTallied = false;  // the parser's stream tallies hold what the index lists
    std::string m_strOpenError;    // why the file could not be opened (parser code 2)
    // The first read of the file that failed, in the headers, the index or the data.
    std::optional<FileFailure> m_readFailure;
};

}  // namespace plovik
