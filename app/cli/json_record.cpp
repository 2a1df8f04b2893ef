#include "json_writer.h"
#include "plovik/report_values.h"
#include "plovik/scan_values.h"
#include "record_values.h"
#include "records.h"

namespace plovik {
namespace {

void WriteFlags(JsonWriter& w, std::uint32_t flags) {
    w.Key("flags");
    w.BeginObject();
    w.Field("has_index", (flags & 0x10) != 0);
    w.Field("must_use_index", (flags & 0x20) != 0);
    w.Field("is_interleaved", (flags & 0x100) != 0);
    w.Field("was_capture_file", (flags & 0x10000) != 0);
    w.Field("copyrighted", (flags & 0x20000) != 0);
    w.EndObject();
}

void WriteVideo(JsonWriter& w, const CAviParser& avi, const Rates& rates) {
    w.Key("video");
    if (!HasVideo(avi)) return w.Value(nullptr);
    const AVISTREAMHEADER& video = avi.m_VideoHeader;
    w.BeginObject();
    w.Field("handler", FourCCText(video.fccHandler));
    w.Field("compression", FourCCText(avi.m_VideoFormat.bmiHeader.biCompression));
    w.Field("codec_name", VideoCodecName(avi));
    w.Field("width", avi.m_MainHeader.dwWidth);
    w.Field("height", avi.m_MainHeader.dwHeight);
    w.Field("frame_rate", FrameRate(avi));
    w.Field("rate", video.dwRate);
    w.Field("scale", video.dwScale);
    w.Field("frames", video.dwLength);
    w.Field("bit_rate_kbps", rates.videoKbps);
    w.EndObject();
}

void WriteAudio(JsonWriter& w, const CAviParser& avi, const Rates& rates) {
    w.Key("audio");
    if (!HasAudio(avi)) return w.Value(nullptr);
    const WAVEFORMATEX& audio = avi.m_AudioFormat;
    w.BeginObject();
    w.Field("format_tag", audio.wFormatTag);
    w.Field("format_name", AudioFormatName(audio.wFormatTag));
    w.Field("channels", audio.nChannels);
    w.Field("sample_rate", audio.nSamplesPerSec);
    w.Field("avg_bytes_per_sec", audio.nAvgBytesPerSec);
    w.Field("bit_rate_kbps", rates.audioKbps);
    w.EndObject();
}

// Where the index stands: the "idx1" chunk, or the first standard index chunk that the
// OpenDML super index lists.
void WriteIndexPlace(JsonWriter& w, const CAviParser& avi) {
    std::optional<std::uint64_t> position;
    std::optional<std::uint64_t> size;
    if (avi.m_nIndexKind == INDEX_KIND_IDX1) {
        position = static_cast<std::uint64_t>(avi.m_llIndexPos);
        size = static_cast<std::uint64_t>(avi.m_llIndexSize);
    } else if (avi.m_nIndexKind == INDEX_KIND_OPENDML && !avi.m_arSuperIndex.empty()) {
        position = avi.m_arSuperIndex.front().qwOffset;
        size = avi.m_arSuperIndex.front().dwSize;
    }
    w.Field("position", position);
    w.Field("size", size);
}

void WriteIndex(JsonWriter& w, const CAviParser& avi) {
    w.Key("index");
    w.BeginObject();
    w.Key("kind");
    switch (avi.m_nIndexKind) {
        case INDEX_KIND_IDX1:
            w.Value("idx1");
            break;
        case INDEX_KIND_OPENDML:
            w.Value("opendml");
            break;
        default:
            w.Value(nullptr);
    }
    WriteIndexPlace(w, avi);
    w.Field("complete", avi.m_bIndexOK);
    w.Field("total_frames", avi.m_dwIndexTotalFrames);
    w.Field("video_frames", avi.m_nIndexFrames);
    w.Field("key_frames", avi.m_nKeyFrames);
    w.Field("front_index", avi.IsFrontIndex());
    w.EndObject();
}

void WriteKeyFrameIntervals(JsonWriter& w, const CAviParser& avi) {
    w.Key("key_frame_intervals");
    if (avi.m_nKeyFrames == 0) return w.Value(nullptr);
    const KeyFrameStats stats = ComputeKeyFrameStats(avi.m_arKeyTimes, avi.m_nKeyFrames);
    w.BeginObject();
    w.Field("mean_s", stats.mean);
    w.Field("stddev_s", stats.deviation);
    w.Field("max_s", stats.maximum);
    w.Field("variable", stats.variable);
    w.EndObject();
}

void WriteKeyFrameTimes(JsonWriter& w, const CAviParser& avi) {
    w.Key("key_frame_times_s");
    w.BeginArray();
    const std::size_t count = std::min<std::size_t>(avi.m_nKeyFrames, avi.m_arKeyTimes.size());
    for (std::size_t k = 0; k < count; ++k) w.Value(avi.m_arKeyTimes[k]);
    w.EndArray();
}

void WriteProblems(JsonWriter& w, const std::vector<CheckProblem>& problems) {
    w.Key("problems");
    w.BeginArray();
    for (const CheckProblem& problem : problems) w.Value(problem.code);
    w.EndArray();
}

void WriteRiffSizes(JsonWriter& w, const CAviParser& avi) {
    w.Field("riff_size", avi.m_dwRiffSize);
    w.Field("data_size", avi.m_qwDataSize);
    w.Field("riff_parts", avi.m_nRiffParts);
    w.Field("truncated", MissingBytes(avi) != 0);
}

void WriteDamagedRegions(JsonWriter& w, const CMovieScan& scan) {
    w.Key("damaged_regions");
    w.BeginArray();
    for (const DAMAGEDREGION& region : scan.m_arDamagedRegions) {
        w.BeginObject();
        w.Field("position", region.qwPosition);
        w.Field("length", region.qwLength);
        w.EndObject();
    }
    w.EndArray();
}

// The movie-data scan; null when the file could not be opened again for it.
void WriteScan(JsonWriter& w, const FileResult& result) {
    w.Key("scan");
    if (result.scan == nullptr) return w.Value(nullptr);
    const CMovieScan& scan = *result.scan;
    const ScanValues v = ComputeScanValues(*result.avi, scan);
    w.BeginObject();
    w.Field("video_frames", v.videoFrames);
    w.Field("video_frames_expected", v.expectedFrames);
    w.Field("empty_frames", scan.m_qwEmptyFrames);
    w.Field("audio_bytes", scan.m_qwAudioBytes);
    w.Field("audio_s", v.audioTime);
    w.Field("playable_s", v.playableTime);
    WriteDamagedRegions(w, scan);
    w.Field("damaged_region_count", scan.m_qwDamagedRegions);
    w.Field("damaged_bytes", scan.m_qwDamagedBytes);
    w.Field("index_mismatches", ScanIndexMismatches(scan));
    w.EndObject();
}

// Everything the headers give, for a file that gave a report.
void WriteHeaders(JsonWriter& w, const CAviParser& avi, const RecordOptions& options) {
    const Rates rates = ComputeRates(avi);
    w.Field("duration_s", DurationSeconds(avi));
    w.Key("software");
    if (avi.m_strSoftware.empty()) {
        w.Value(nullptr);
    } else {
        w.Value(DisplayText(avi.m_strSoftware));
    }
    w.Field("avih_flags", avi.m_MainHeader.dwFlags);
    WriteFlags(w, avi.m_MainHeader.dwFlags);
    WriteVideo(w, avi, rates);
    WriteAudio(w, avi, rates);
    WriteIndex(w, avi);
    WriteKeyFrameIntervals(w, avi);
    w.Field("has_text_stream", avi.m_bHasText);
    if (options.keyFrameTimes) WriteKeyFrameTimes(w, avi);
}

}  // namespace

std::string JsonRecord(const FileResult& result, const RecordOptions& options) {
    std::string line;
    line.reserve(1024);  // a whole record without growing, key-frame times aside
    JsonWriter w(line);
    w.BeginObject();
    w.Field("format_version", 1);
    w.Field("path", DisplayText(result.path));
    w.Field("file_name", DisplayText(GetFileNameExt(result.path)));
    w.Field("status", StatusName(result.status));
    w.Field("error_code", result.errorCode);
    if (options.problems) WriteProblems(w, result.problems);
    const CAviParser& avi = *result.avi;
    if (HasFileSize(result.status)) w.Field("file_size", avi.m_qwFileSize);
    if (HasRiffSizes(result.status)) WriteRiffSizes(w, avi);
    if (HasHeaders(result.status)) WriteHeaders(w, avi, options);
    if (HasHeaders(result.status) && options.scan) WriteScan(w, result);
    w.EndObject();
    line += '\n';
    return line;
}

}  // namespace plovik
