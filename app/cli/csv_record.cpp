#include <algorithm>
#include <cmath>

#include "number_text.h"
#include "plovik/report_values.h"
#include "plovik/scan_values.h"
#include "record_values.h"
#include "records.h"

namespace plovik {
namespace {

constexpr std::string_view kColumns =
    "path,status,file_size,data_size,duration_s,video_handler,codec_name,width,height,"
    "frame_rate,audio_format_tag,channels,sample_rate,index_complete,total_frames,key_frames,"
    "front_index,variable_key_frame_intervals,truncated";
// The cells from duration_s to variable_key_frame_intervals, which only headers give.
constexpr std::size_t kHeaderCells = 14;
// With --scan, after truncated: the fields of the JSON scan object but its region list.
constexpr std::string_view kScanColumns =
    ",scan_video_frames,scan_video_frames_expected,scan_empty_frames,scan_audio_bytes,"
    "scan_audio_s,scan_playable_s,scan_damaged_region_count,scan_damaged_bytes,"
    "scan_index_mismatches";
constexpr std::size_t kScanCells = 9;

bool NeedsQuotes(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }

// One row of cells; a cell with a comma, a quote or a line break is quoted (RFC 4180).
class CsvRow {
  public:
    void Cell(std::string_view text) {
        Separate();
        if (std::none_of(text.begin(), text.end(), NeedsQuotes)) {
            m_row += text;
            return;
        }
        m_row += '"';
        for (const char c : text) {
            if (c == '"') m_row += '"';
            m_row += c;
        }
        m_row += '"';
    }
    void Cell(bool value) { Cell(value ? "true" : "false"); }
    void Cell(const char* text) { Cell(std::string_view(text)); }
    void Cell(double value) {
        Separate();
        if (std::isfinite(value)) AppendNumber(m_row, value);
    }
    template <std::integral T>
    requires(!std::same_as<T, bool>) void Cell(T value) {
        Separate();
        AppendNumber(m_row, value);
    }
    template <class T>
    void Cell(const std::optional<T>& value) {
        if (value) {
            Cell(*value);
        } else {
            Empty();
        }
    }
    void Empty(std::size_t count = 1) {
        for (std::size_t i = 0; i < count; ++i) Separate();
    }
    std::string Finish() { return std::move(m_row) + "\r\n"; }

  private:
    void Separate() {
        if (m_cells++ > 0) m_row += ',';
    }
    std::string m_row;
    std::size_t m_cells = 0;
};

void VideoCells(CsvRow& row, const CAviParser& avi) {
    if (!HasVideo(avi)) return row.Empty(5);
    row.Cell(FourCCText(avi.m_VideoHeader.fccHandler));
    row.Cell(VideoCodecName(avi));
    row.Cell(avi.m_MainHeader.dwWidth);
    row.Cell(avi.m_MainHeader.dwHeight);
    row.Cell(FrameRate(avi));
}

void AudioCells(CsvRow& row, const CAviParser& avi) {
    if (!HasAudio(avi)) return row.Empty(3);
    row.Cell(avi.m_AudioFormat.wFormatTag);
    row.Cell(avi.m_AudioFormat.nChannels);
    row.Cell(avi.m_AudioFormat.nSamplesPerSec);
}

void HeaderCells(CsvRow& row, const CAviParser& avi) {
    row.Cell(DurationSeconds(avi));
    VideoCells(row, avi);
    AudioCells(row, avi);
    row.Cell(avi.m_bIndexOK);
    row.Cell(avi.m_dwIndexTotalFrames);
    row.Cell(avi.m_nKeyFrames);
    row.Cell(avi.IsFrontIndex());
    if (avi.m_nKeyFrames == 0) {
        row.Empty();
    } else {
        row.Cell(ComputeKeyFrameStats(avi.m_arKeyTimes, avi.m_nKeyFrames).variable);
    }
}

void ScanCells(CsvRow& row, const FileResult& result) {
    if (result.scan == nullptr) return row.Empty(kScanCells);
    const CMovieScan& scan = *result.scan;
    const ScanValues v = ComputeScanValues(*result.avi, scan);
    row.Cell(v.videoFrames);
    row.Cell(v.expectedFrames);
    row.Cell(scan.m_qwEmptyFrames);
    row.Cell(scan.m_qwAudioBytes);
    row.Cell(v.audioTime);
    row.Cell(v.playableTime);
    row.Cell(scan.m_qwDamagedRegions);
    row.Cell(scan.m_qwDamagedBytes);
    row.Cell(ScanIndexMismatches(scan));
}

std::string ProblemCodes(const std::vector<CheckProblem>& problems) {
    std::string codes;
    for (const CheckProblem& problem : problems) {
        if (!codes.empty()) codes += ';';
        codes += problem.code;
    }
    return codes;
}

}  // namespace

std::string CsvHeader(const RecordOptions& options) {
    std::string header(kColumns);
    if (options.scan) header += kScanColumns;
    if (options.problems) header += ",problems";
    return header + "\r\n";
}

std::string CsvRecord(const FileResult& result, const RecordOptions& options) {
    const CAviParser& avi = *result.avi;
    const FileStatus status = result.status;
    CsvRow row;
    row.Cell(DisplayText(result.path));
    row.Cell(StatusName(status));
    HasFileSize(status) ? row.Cell(avi.m_qwFileSize) : row.Empty();
    HasRiffSizes(status) ? row.Cell(avi.m_qwDataSize) : row.Empty();
    HasHeaders(status) ? HeaderCells(row, avi) : row.Empty(kHeaderCells);
    HasRiffSizes(status) ? row.Cell(MissingBytes(avi) != 0) : row.Empty();
    if (options.scan) ScanCells(row, result);
    if (options.problems) row.Cell(ProblemCodes(result.problems));
    return row.Finish();
}

}  // namespace plovik
