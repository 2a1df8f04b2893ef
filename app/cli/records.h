// One file's result as a JSON line, a CSV row or a check line.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "file_result.h"
#include "json_writer.h"

namespace plovik {

struct RecordOptions {
    bool keyFrameTimes = false;  // JSON: key_frame_times_s
    bool check = false;          // --check: the verdict and findings
    bool scan = false;           // --scan: the scan object or columns
};

// Regions of a file as a JSON list under key: objects of position and length.
void WriteRegions(JsonWriter& w, std::string_view key, std::span<const DAMAGEDREGION> regions);

// One JSON object on one line, "\n" at its end.
std::string JsonRecord(const FileResult& result, const RecordOptions& options);

// --format archivematica: one Python-literal dictionary of strings on one line: the outcome
// ("pass", "partial pass", "fail"), the check line, the findings one per line.
std::string ArchivematicaRecord(const FileFacts& facts);

// The CSV header row and one file's row, each ending in "\r\n".
std::string CsvHeader(const RecordOptions& options);
std::string CsvRecord(const FileResult& result, const RecordOptions& options);

}  // namespace plovik
