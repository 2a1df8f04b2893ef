#include <algorithm>
#include <cmath>

#include "number_text.h"
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
    "scan_index_mismatches,scan_interleaved,scan_preload_s,scan_max_audio_lead_s,"
    "scan_max_audio_lag_s,scan_key_flag_mismatches,scan_packed_bitstream,scan_damaged_frames,"
    "audio_vbr";
constexpr std::size_t kScanCells = 16;  // audio_vbr follows them

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

void VideoCells(CsvRow& row, const VideoFacts& video) {
    if (!video.present) return row.Empty(5);
    row.Cell(video.handlerCode);
    if (video.codecListed) {
        row.Cell(video.codecName);
    } else {
        row.Empty();
    }
    row.Cell(video.width);
    row.Cell(video.height);
    row.Cell(video.frameRate);
}

void AudioCells(CsvRow& row, const AudioFacts& audio) {
    if (!audio.present) return row.Empty(3);
    row.Cell(audio.formatTag);
    row.Cell(audio.channels);
    row.Cell(audio.sampleRate);
}

void HeaderCells(CsvRow& row, const FileFacts& f) {
    row.Cell(f.duration);
    VideoCells(row, f.video);
    AudioCells(row, f.audio);
    row.Cell(f.index.complete);
    row.Cell(f.index.totalFrames);
    row.Cell(f.index.keyFrames);
    row.Cell(f.index.front);
    if (f.index.intervals) {
        row.Cell(f.index.intervals->variable);
    } else {
        row.Empty();
    }
}

void ScanCells(CsvRow& row, const std::optional<ScanFacts>& scan) {
    if (!scan) return row.Empty(kScanCells);
    row.Cell(scan->videoFrames);
    row.Cell(scan->expectedFrames);
    row.Cell(scan->emptyFrames);
    row.Cell(scan->audioBytes);
    row.Cell(scan->audioTime);
    row.Cell(scan->playableTime);
    row.Cell(scan->damagedRegions);
    row.Cell(scan->damagedBytes);
    row.Cell(scan->indexMismatches);
    if (const std::optional<InterleaveFacts>& interleave = scan->interleave) {
        row.Cell(interleave->interleaved);
        row.Cell(interleave->preload);
        row.Cell(interleave->maxLead);
        row.Cell(interleave->maxLag);
    } else {
        row.Empty(4);
    }
    row.Cell(scan->keyFlagMismatches);
    row.Cell(scan->packedBitstream);
    row.Cell(scan->damagedFrames);
}

// The ids of the rules that fired, joined by spaces.
std::string FindingIds(const std::vector<Finding>& findings) {
    std::string ids;
    for (const Finding& finding : findings) {
        if (!ids.empty()) ids += ' ';
        ids += finding.rule->id;
    }
    return ids;
}

// The streams of a kind: how many, and their codecs joined by spaces (the FourCC or the
// format tag of one without a short name).
void StreamCells(CsvRow& row, const std::vector<StreamFacts>& streams) {
    std::uint64_t counts[2] = {0, 0};
    std::string codecs[2];
    for (const StreamFacts& s : streams) {
        const int kind = s.kind == "video" ? 0 : s.kind == "audio" ? 1 : -1;
        if (kind < 0) continue;
        ++counts[kind];
        std::string& list = codecs[kind];
        if (!list.empty()) list += ' ';
        if (s.codec) {
            list += *s.codec;
        } else {
            list += kind == 0 ? s.code : std::to_string(s.formatTag);
        }
    }
    row.Cell(counts[0]);
    row.Cell(counts[1]);
    row.Cell(codecs[0]);
    row.Cell(codecs[1]);
}

}  // namespace

std::string CsvHeader(const RecordOptions& options) {
    std::string header(kColumns);
    if (options.scan) header += kScanColumns;
    if (options.check) header += ",verdict,findings";
    return header + ",video_streams,audio_streams,video_codecs,audio_codecs\r\n";
}

std::string CsvRecord(const FileResult& result, const RecordOptions& options) {
    const FileFacts& f = result.facts;
    const FileStatus status = f.status;
    CsvRow row;
    row.Cell(f.displayPath);
    row.Cell(StatusName(OutputStatus(f)));
    HasFileSize(status) ? row.Cell(f.fileSize) : row.Empty();
    HasRiffSizes(status) ? row.Cell(f.dataSize) : row.Empty();
    HasHeaders(status) ? HeaderCells(row, f) : row.Empty(kHeaderCells);
    HasRiffSizes(status) ? row.Cell(f.missingBytes != 0) : row.Empty();
    if (options.scan) {
        ScanCells(row, f.scan);
        f.scan ? row.Cell(f.audioVbr) : row.Empty();
    }
    if (options.check) {
        row.Cell(VerdictName(f.verdict));
        row.Cell(FindingIds(f.findings));
    }
    HasHeaders(status) ? StreamCells(row, f.streams) : row.Empty(4);
    return row.Finish();
}

}  // namespace plovik
