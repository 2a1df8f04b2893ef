#include "json_writer.h"
#include "records.h"

namespace plovik {
namespace {

// A name for scripts only where the catalogue lists the code.
std::optional<std::string> Listed(const std::string& name, bool listed) {
    if (!listed) return std::nullopt;
    return name;
}

void WriteFlags(JsonWriter& w, std::uint32_t flags) {
    w.Key("flags");
    w.BeginObject();
    for (const HeaderFlag& flag : HeaderFlags()) w.Field(flag.name, (flags & flag.bit) != 0);
    w.EndObject();
}

void WriteVideo(JsonWriter& w, const VideoFacts& video) {
    w.Key("video");
    if (!video.present) return w.Value(nullptr);
    w.BeginObject();
    w.Field("handler", video.handlerCode);
    w.Field("compression", video.compressionCode);
    w.Field("codec_name", Listed(video.codecName, video.codecListed));
    w.Field("codec", video.shortName);
    w.Field("width", video.width);
    w.Field("height", video.height);
    w.Field("frame_rate", video.frameRate);
    w.Field("rate", video.rate);
    w.Field("scale", video.scale);
    w.Field("frames", video.length);
    w.Field("bit_rate_kbps", video.kbps);
    w.EndObject();
}

void WriteAudio(JsonWriter& w, const AudioFacts& audio) {
    w.Key("audio");
    if (!audio.present) return w.Value(nullptr);
    w.BeginObject();
    w.Field("format_tag", audio.formatTag);
    w.Field("format_name", Listed(audio.formatName, audio.formatListed));
    w.Field("codec", audio.shortName);
    w.Key("sub_format");
    if (audio.subFormat != 0) {
        w.Value(audio.subFormat);
    } else {
        w.Value(nullptr);
    }
    w.Field("channels", audio.channels);
    w.Field("sample_rate", audio.sampleRate);
    w.Field("avg_bytes_per_sec", audio.avgBytesPerSec);
    w.Field("bit_rate_kbps", audio.kbps);
    w.Field("duration_s", audio.duration);
    w.EndObject();
}

void WriteSizeStats(JsonWriter& w, const char* key, const FrameSizeStats& stats) {
    w.Key(key);
    w.BeginObject();
    w.Field("count", stats.count);
    w.Field("min", stats.min);
    w.Field("max", stats.max);
    w.Field("mean", stats.mean);
    w.EndObject();
}

void WriteFrameSizes(JsonWriter& w, const std::optional<FrameSizes>& sizes) {
    w.Key("video_frame_sizes");
    if (!sizes) return w.Value(nullptr);
    w.BeginObject();
    w.Field("source", sizes->fromData ? "data" : "index");
    WriteSizeStats(w, "key", sizes->key);
    WriteSizeStats(w, "delta", sizes->delta);
    w.EndObject();
}

void WriteInterleave(JsonWriter& w, const std::optional<InterleaveFacts>& interleave) {
    w.Key("interleave");
    if (!interleave) return w.Value(nullptr);
    w.BeginObject();
    w.Field("interleaved", interleave->interleaved);
    w.Field("preload_s", interleave->preload);
    w.Field("max_audio_lead_s", interleave->maxLead);
    w.Field("max_audio_lead_position", interleave->maxLeadPosition);
    w.Field("max_audio_lag_s", interleave->maxLag);
    w.Field("max_audio_lag_position", interleave->maxLagPosition);
    w.EndObject();
}

const char* IndexKindName(IndexKind kind) {
    switch (kind) {
        case IndexKind::kIdx1:
            return "idx1";
        case IndexKind::kOpenDml:
            return "opendml";
        default:
            return nullptr;
    }
}

void WriteIndex(JsonWriter& w, const IndexFacts& index) {
    w.Key("index");
    w.BeginObject();
    w.Key("kind");
    if (const char* kind = IndexKindName(index.kind)) {
        w.Value(kind);
    } else {
        w.Value(nullptr);
    }
    w.Field("position", index.position);
    w.Field("size", index.size);
    w.Field("complete", index.complete);
    w.Field("total_frames", index.totalFrames);
    w.Field("video_frames", index.videoFrames);
    w.Field("key_frames", index.keyFrames);
    w.Field("front_index", index.front);
    w.EndObject();
}

void WriteKeyFrameIntervals(JsonWriter& w, const std::optional<KeyFrameStats>& stats) {
    w.Key("key_frame_intervals");
    if (!stats) return w.Value(nullptr);
    w.BeginObject();
    w.Field("mean_s", stats->mean);
    w.Field("stddev_s", stats->deviation);
    w.Field("max_s", stats->maximum);
    w.Field("variable", stats->variable);
    w.EndObject();
}

void WriteKeyFrameTimes(JsonWriter& w, const KeyFrameList* keys) {
    w.Key("key_frame_times_s");
    w.BeginArray();
    for (std::size_t i = 0; keys != nullptr && i < keys->size(); ++i) w.Value(keys->Time(i));
    w.EndArray();
}

// Every stream list's stream: what its header says, and what the index lists and the data
// hold of it where they were read.
void WriteStreams(JsonWriter& w, std::span<const StreamFacts> streams) {
    using std::nullopt;
    w.Key("streams");
    w.BeginArray();
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const StreamFacts& s = streams[i];
        const std::optional<StreamFacts::Indexed>& in = s.indexed;
        const std::optional<StreamFacts::Present>& at = s.present;
        w.BeginObject();
        w.Field("index", i);
        w.Field("type", s.kind);
        w.Field("codec", s.codec);
        w.Field("fourcc", s.code.empty() ? nullopt : std::optional<std::string_view>(s.code));
        w.Field("format_tag", s.kind == "audio" ? std::optional(s.formatTag) : nullopt);
        w.Field("rate", s.rate);
        w.Field("scale", s.scale);
        w.Field("sample_size", s.sampleSize);
        w.Field("length", s.length);
        w.Field("duration_s", s.duration);
        w.Field("index_entries", in ? std::optional(in->entries) : nullopt);
        w.Field("index_duration_s", in ? in->duration : nullopt);
        w.Field("chunks", at ? std::optional(at->chunks) : nullopt);
        w.Field("bytes", at ? std::optional(at->bytes) : nullopt);
        w.Field("data_duration_s", at ? at->duration : nullopt);
        w.Field("frame_check", at ? std::optional(s.frameCheck) : nullopt);
        w.Field("damaged_frames", at ? std::optional(at->damagedFrames) : nullopt);
        w.EndObject();
    }
    w.EndArray();
}

void WriteFindings(JsonWriter& w, const FileFacts& f) {
    w.Field("verdict", VerdictName(f.verdict));
    w.Field("data_checked", f.scan.has_value());
    w.Key("findings");
    w.BeginArray();
    for (const Finding& finding : f.findings) {
        w.BeginObject();
        w.Field("rule", finding.rule->id);
        w.Field("severity", SeverityName(finding.severity));
        w.Field("position", finding.position);
        w.Field("length", finding.length);
        w.Field("message", finding.message);
        w.EndObject();
    }
    w.EndArray();
}

void WriteReadError(JsonWriter& w, const FileFailure& failure) {
    w.Key("read_error");
    w.BeginObject();
    w.Field("position", failure.position);
    w.Field("reason", failure.reason);
    w.EndObject();
}

void WriteRiffSizes(JsonWriter& w, const FileFacts& f) {
    w.Field("riff_size", f.riffSize);
    w.Field("data_size", f.dataSize);
    w.Field("riff_parts", f.riffParts);
    w.Field("truncated", f.missingBytes != 0);
}

void WriteScan(JsonWriter& w, const ScanFacts& scan) {
    w.Key("scan");
    w.BeginObject();
    w.Field("video_frames", scan.videoFrames);
    w.Field("video_frames_expected", scan.expectedFrames);
    w.Field("empty_frames", scan.emptyFrames);
    w.Field("audio_bytes", scan.audioBytes);
    w.Field("audio_s", scan.audioTime);
    w.Field("playable_s", scan.playableTime);
    WriteRegions(w, "damaged_regions", scan.regions);
    w.Field("damaged_region_count", scan.damagedRegions);
    w.Field("damaged_bytes", scan.damagedBytes);
    w.Field("index_mismatches", scan.indexMismatches);
    WriteInterleave(w, scan.interleave);
    w.Field("key_flag_mismatches", scan.keyFlagMismatches);
    w.Field("packed_bitstream", scan.packedBitstream);
    w.Field("damaged_frame_count", scan.damagedFrames);
    w.Key("damaged_frames");
    w.BeginArray();
    for (const DAMAGEDFRAME& frame : scan.damagedFrameList) {
        w.BeginObject();
        w.Field("stream", frame.nStream);
        w.Field("frame", frame.qwFrame);
        w.Field("position", frame.qwPosition);
        w.Field("offset", frame.dwOffset);
        w.Field("reason", frame.reason);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

// Everything the headers give, for a file that gave a report.
void WriteHeaders(JsonWriter& w, const FileFacts& f, const RecordOptions& options) {
    w.Field("duration_s", f.duration);
    w.Key("software");
    if (f.software.empty()) {
        w.Value(nullptr);
    } else {
        w.Value(f.software);
    }
    w.Field("avih_flags", f.flags);
    WriteFlags(w, f.flags);
    WriteVideo(w, f.video);
    WriteAudio(w, f.audio);
    WriteIndex(w, f.index);
    WriteKeyFrameIntervals(w, f.index.intervals);
    w.Field("has_text_stream", f.hasText);
    w.Field("audio_vbr", f.audioVbr);
    WriteFrameSizes(w, f.frameSizes);
    WriteStreams(w, f.streams);
    if (options.keyFrameTimes) WriteKeyFrameTimes(w, f.index.keyFrameList);
}

}  // namespace

void WriteRegions(JsonWriter& w, std::string_view key, std::span<const DAMAGEDREGION> regions) {
    w.Key(key);
    w.BeginArray();
    for (const DAMAGEDREGION& region : regions) {
        w.BeginObject();
        w.Field("position", region.qwPosition);
        w.Field("length", region.qwLength);
        w.EndObject();
    }
    w.EndArray();
}

std::string JsonRecord(const FileResult& result, const RecordOptions& options) {
    std::string line;
    line.reserve(1024);  // a whole record without growing, key-frame times aside
    JsonWriter w(line);
    w.BeginObject();
    w.Field("format_version", 2);
    const FileFacts& f = result.facts;
    w.Field("path", f.displayPath);
    w.Field("file_name", f.fileName);
    w.Field("status", StatusName(OutputStatus(f)));
    w.Field("error_code", f.errorCode);
    if (f.readFailure) WriteReadError(w, *f.readFailure);
    if (options.check) WriteFindings(w, f);
    if (HasFileSize(f.status)) w.Field("file_size", f.fileSize);
    if (HasRiffSizes(f.status)) WriteRiffSizes(w, f);
    if (HasHeaders(f.status)) WriteHeaders(w, f, options);
    if (HasHeaders(f.status) && options.scan && f.scan) WriteScan(w, *f.scan);
    w.EndObject();
    line += '\n';
    return line;
}

}  // namespace plovik
