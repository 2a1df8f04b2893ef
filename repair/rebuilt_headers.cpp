#include "rebuilt_headers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "plovik/chunk_ids.h"
#include "plovik/codec_family.h"
#include "plovik/frame_type.h"

namespace plovik {
namespace {

enum class Kind { kNone, kVideo, kAudio, kOther };

constexpr std::uint16_t kPcmBlock = 4;  // the PCM assumed: 16-bit stereo

Kind KindOf(const LOSTSTREAM& stream) {
    if (stream.qwChunks == 0) return Kind::kNone;
    if (HasKind(stream.fccId, "dc") || HasKind(stream.fccId, "db")) return Kind::kVideo;
    if (HasKind(stream.fccId, "wb")) return Kind::kAudio;
    return Kind::kOther;
}

// The stream numbers up to the last one with chunks.
std::size_t StreamsOf(const LOSTMOVIE& lost) {
    std::size_t count = 0;
    for (std::size_t s = 0; s < lost.arStreams.size(); ++s) {
        if (lost.arStreams[s].qwChunks != 0) count = s + 1;
    }
    return count;
}

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
void PutId(std::string& out, FOURCC id) { Put32(out, id); }

std::string ChunkOf(FOURCC id, const std::string& data) {
    std::string out;
    PutId(out, id);
    Put32(out, static_cast<std::uint32_t>(data.size()));
    out += data;
    if ((data.size() & 1) != 0) out += '\0';
    return out;
}

std::string ListOf(FOURCC type, const std::string& data) {
    std::string body;
    PutId(body, type);
    return ChunkOf(kList, body + data);
}

// A stream's header and format as the rebuild writes them.
struct StreamPlan {
    FOURCC type = 0;
    FOURCC handler = 0;
    std::uint32_t scale = 1;
    std::uint32_t rate = 0;
    std::uint32_t sampleSize = 0;
    std::uint32_t largest = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::string format;  // the "strf" data
};

std::string StreamHeaderOf(const StreamPlan& p) {
    std::string h;
    PutId(h, p.type);
    PutId(h, p.handler);
    Put32(h, 0);  // flags
    Put32(h, 0);  // priority, language
    Put32(h, 0);  // initial frames
    Put32(h, p.scale);
    Put32(h, p.rate);
    Put32(h, 0);  // start
    Put32(h, 0);  // length: the repair counts it
    Put32(h, p.largest);
    Put32(h, 0xFFFFFFFF);  // quality: default
    Put32(h, p.sampleSize);
    Put16(h, 0);
    Put16(h, 0);
    Put16(h, p.width);
    Put16(h, p.height);
    return h;
}

std::string VideoFormatOf(const ProbedVideo& v) {
    std::string f;
    Put32(f, 40);
    Put32(f, v.width);
    Put32(f, v.height);
    Put16(f, 1);
    Put16(f, v.bitCount);
    PutId(f, v.fourcc);
    Put32(f, v.width * v.height * 3);
    for (int i = 0; i < 4; ++i) Put32(f, 0);
    return f;
}

std::string WaveFormatOf(std::uint16_t tag, std::uint16_t channels, std::uint32_t sampleRate,
                         std::uint32_t avgBytes, std::uint16_t blockAlign, std::uint16_t bits) {
    std::string f;
    Put16(f, tag);
    Put16(f, channels);
    Put32(f, sampleRate);
    Put32(f, avgBytes);
    Put16(f, blockAlign);
    Put16(f, bits);
    Put16(f, 0);
    return f;
}

std::string TagHex(std::uint32_t tag) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", tag & 0xFFFF);
    return hex;
}

std::string RateText(std::uint32_t rate, std::uint32_t scale) {
    return std::to_string(rate) + "/" + std::to_string(scale);
}

// Frames a second as a stream header holds them: a common rate within 1 %, else in 1/1000.
std::pair<std::uint32_t, std::uint32_t> NearestRate(double fps) {
    static constexpr std::pair<std::uint32_t, std::uint32_t> kCommon[] = {
        {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1}};
    for (const auto& [rate, scale] : kCommon) {
        const double common = static_cast<double>(rate) / scale;
        if (std::abs(fps - common) < common * 0.01) return {rate, scale};
    }
    return {static_cast<std::uint32_t>(std::lround(fps * 1000)), 1000};
}

// The seconds of audio the stream holds, where its frame headers tell its rate.
std::optional<double> AudioSeconds(const LOSTSTREAM& stream, const ProbedAudio& audio) {
    if (audio.bitRate != 0) return static_cast<double>(stream.qwBytes) * 8 / audio.bitRate;
    if (audio.samplesPerFrame != 0 && audio.sampleRate != 0) {
        return static_cast<double>(stream.qwChunks) * audio.samplesPerFrame / audio.sampleRate;
    }
    return std::nullopt;
}

class Inference {
  public:
    Inference(const LOSTMOVIE& lost, const DataProbe& probe) : m_lost(lost), m_probe(probe) {}

    std::optional<RebuiltHeaders> Run(std::string& why);

  private:
    std::size_t ListedStreams();
    bool AudioTold(std::uint32_t s) const;
    bool Video(std::uint32_t s, StreamPlan& plan, std::string& why);
    void Audio(std::uint32_t s, StreamPlan& plan);
    void FrameRate(std::uint32_t s, const ProbedVideo& video, StreamPlan& plan);
    void Field(std::uint32_t s, std::string field, std::string value, std::string source,
               bool assumed = false) {
        m_out.fields.push_back({s, std::move(field), std::move(value), std::move(source), assumed});
    }

    const LOSTMOVIE& m_lost;
    const DataProbe& m_probe;
    RebuiltHeaders m_out;
};

bool Inference::Video(std::uint32_t s, StreamPlan& plan, std::string& why) {
    const std::optional<ProbedVideo>& video = m_probe.video[s];
    if (!video) {
        why = "the codec of stream " + std::to_string(s) +
              " cannot be told from its frames (--reference gives it)";
        return false;
    }
    plan.type = kVids;
    plan.handler = video->fourcc;
    plan.width = video->width;
    plan.height = video->height;
    plan.format = VideoFormatOf(*video);
    Field(s, "codec", FourCCToString(video->fourcc), video->source);
    Field(s, "picture size", std::to_string(video->width) + "x" + std::to_string(video->height),
          video->source);
    FrameRate(s, *video, plan);
    return true;
}

// From the bitstream where it carries a rate; else the video's frames over the audio's
// seconds, where the audio's frame headers tell them; else 25.
void Inference::FrameRate(std::uint32_t s, const ProbedVideo& video, StreamPlan& plan) {
    std::optional<ProbedRate> told = video.frameRate;
    if (!told) told = RateOfVopTimes(m_probe.vopTimes[s], video.timeResolution);
    if (told && told->rate != 0 && told->scale != 0) {
        plan.rate = told->rate;
        plan.scale = told->scale;
        Field(s, "frame rate", RateText(plan.rate, plan.scale), told->source);
        return;
    }
    for (std::size_t a = 0; a < m_lost.arStreams.size(); ++a) {
        const std::optional<ProbedAudio>& audio = m_probe.audio[a];
        if (!audio || KindOf(m_lost.arStreams[a]) != Kind::kAudio) continue;
        const std::optional<double> seconds = AudioSeconds(m_lost.arStreams[a], *audio);
        if (!seconds || *seconds <= 0) continue;
        std::tie(plan.rate, plan.scale) =
            NearestRate(static_cast<double>(m_lost.arStreams[s].qwChunks) / *seconds);
        Field(s, "frame rate", RateText(plan.rate, plan.scale),
              "the length of stream " + std::to_string(a) + " (" + audio->source + ")");
        return;
    }
    plan.rate = 25;
    plan.scale = 1;
    Field(s, "frame rate", "25/1", "assumed", true);
}

void Inference::Audio(std::uint32_t s, StreamPlan& plan) {
    plan.type = kAuds;
    const std::optional<ProbedAudio>& audio = m_probe.audio[s];
    if (!audio) {  // PCM: its rate and channels are not in its bytes
        plan.rate = 48000;
        plan.sampleSize = kPcmBlock;
        plan.format = WaveFormatOf(1, 2, 48000, 48000 * kPcmBlock, kPcmBlock, 16);
        Field(s, "audio format", "PCM 48000 Hz, 2 channels, 16 bits", "assumed", true);
        return;
    }
    const std::uint32_t avgBytes = audio->bitRate / 8;
    if (avgBytes != 0) {  // constant rate: timed by its bytes
        plan.rate = avgBytes;
        plan.sampleSize = 1;
    } else {
        plan.scale = std::max<std::uint32_t>(audio->samplesPerFrame, 1);
        plan.rate = audio->sampleRate;
    }
    plan.format = WaveFormatOf(audio->formatTag, audio->channels, audio->sampleRate, avgBytes,
                               avgBytes != 0 ? 1 : static_cast<std::uint16_t>(plan.scale),
                               audio->bitsPerSample);
    Field(s, "audio format",
          "tag 0x" + TagHex(audio->formatTag) + ", " + std::to_string(audio->sampleRate) + " Hz, " +
              std::to_string(audio->channels) + " channels, " + std::to_string(audio->bitRate) +
              " bit/s",
          audio->source);
}

// An audio stream whose format the data tell, or do not contradict: frame headers, or chunks
// of whole blocks of the PCM assumed.
bool Inference::AudioTold(std::uint32_t s) const {
    return m_probe.audio[s] || m_lost.arStreams[s].dwSizeGcd % kPcmBlock == 0;
}

// The streams the list has: the last ones are left out where they are audio whose format
// the data do not tell (raw AAC: no frame headers, no whole PCM blocks).
std::size_t Inference::ListedStreams() {
    std::size_t streams = StreamsOf(m_lost);
    while (streams > 0 && KindOf(m_lost.arStreams[streams - 1]) == Kind::kAudio &&
           !AudioTold(static_cast<std::uint32_t>(streams - 1))) {
        --streams;
        Field(static_cast<std::uint32_t>(streams), "audio format", "unknown",
              "no frame header and no whole PCM blocks: left out, a reference gives its format");
    }
    return streams;
}

std::optional<RebuiltHeaders> Inference::Run(std::string& why) {
    const std::size_t streams = ListedStreams();
    std::string lists;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frameMicros = 0;
    std::uint32_t largest = 0;
    for (std::uint32_t s = 0; s < streams; ++s) {
        StreamPlan plan;
        const LOSTSTREAM& stream = m_lost.arStreams[s];
        plan.largest = stream.dwLargest;
        switch (KindOf(stream)) {
            case Kind::kVideo:
                if (!Video(s, plan, why)) return std::nullopt;
                if (width == 0) {
                    m_out.videoStream = static_cast<int>(s);
                    m_out.videoFamily = m_probe.video[s]->family;
                    width = plan.width;
                    height = plan.height;
                    frameMicros = static_cast<std::uint32_t>(
                        std::llround(1e6 * plan.scale / static_cast<double>(plan.rate)));
                }
                break;
            case Kind::kAudio:
                if (!AudioTold(s)) {
                    why = "the audio format of stream " + std::to_string(s) +
                          " cannot be told from its data (--reference gives it)";
                    return std::nullopt;
                }
                Audio(s, plan);
                break;
            case Kind::kNone:
            case Kind::kOther:
                why = "stream " + std::to_string(s) + " has no video or audio chunks";
                return std::nullopt;
        }
        largest = std::max(largest, plan.largest);
        lists += ListOf(kStrl, ChunkOf(kStrh, StreamHeaderOf(plan)) + ChunkOf(kStrf, plan.format));
    }
    std::string avih;
    Put32(avih, frameMicros);
    Put32(avih, 0);  // max bytes a second
    Put32(avih, 0);  // padding granularity
    Put32(avih, AVIF_HASINDEX);
    Put32(avih, 0);  // total frames: the repair counts them
    Put32(avih, 0);  // initial frames
    Put32(avih, static_cast<std::uint32_t>(streams));
    Put32(avih, largest);
    Put32(avih, width);
    Put32(avih, height);
    for (int i = 0; i < 4; ++i) Put32(avih, 0);
    m_out.list = ListOf(kHdrl, ChunkOf(kAvih, avih) + lists);
    std::stable_sort(
        m_out.fields.begin(), m_out.fields.end(),
        [](const RebuiltField& a, const RebuiltField& b) { return a.stream < b.stream; });
    return std::move(m_out);
}

std::uint32_t FormatField(const StreamTally& stream, std::size_t offset, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes && offset + i < stream.format.size(); ++i) {
        value |= std::uint32_t{stream.format[offset + i]} << (8 * i);
    }
    return value;
}

std::string SizeText(std::uint32_t width, std::uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// A header list's streams against what the data tell of them: the first difference.
class Check {
  public:
    Check(const CAviParser& avi, const LOSTMOVIE& lost, const DataProbe& probe,
          const std::string& source)
        : m_streams(avi.m_arStreams), m_lost(lost), m_probe(probe), m_source(source) {}

    std::optional<std::string> Run(std::vector<RebuiltField>& fields) {
        for (std::uint32_t s = 0; s < StreamsOf(m_lost); ++s) {
            const Kind kind = KindOf(m_lost.arStreams[s]);
            if (kind == Kind::kNone) continue;
            const std::string id = FourCCToString(m_lost.arStreams[s].fccId);
            if (s >= m_streams.size()) {
                return "it has no stream " + std::to_string(s) + " for the '" + id + "' chunks";
            }
            const StreamTally& ref = m_streams[s];
            std::optional<std::string> why;
            if (kind == Kind::kVideo) why = Video(s, ref, fields);
            if (kind == Kind::kAudio) why = Audio(s, ref, fields);
            if (kind == Kind::kOther) why = "it cannot be checked against '" + id + "' chunks";
            if (why) return "stream " + std::to_string(s) + ": " + *why;
        }
        return std::nullopt;
    }

    int videoStream = -1;  // the first video stream checked, and its family
    VideoFamily videoFamily = VideoFamily::kUnknown;

  private:
    std::optional<std::string> Video(std::uint32_t s, const StreamTally& ref,
                                     std::vector<RebuiltField>& fields) {
        if (!ref.IsVideo()) return std::string("the data are video, its stream is not");
        const std::uint32_t width = FormatField(ref, 4, 4);
        const std::uint32_t height =
            static_cast<std::uint32_t>(std::abs(static_cast<std::int32_t>(FormatField(ref, 8, 4))));
        const FOURCC compression = FormatField(ref, 16, 4);
        std::string checked = " (not checked: no frame header read)";
        if (const std::optional<ProbedVideo>& video = m_probe.video[s]) {
            if (VideoFamilyOf(ref.header.fccHandler, compression) != video->family) {
                return "the data are " + FourCCToString(video->fourcc) + " (" + video->source +
                       "), its codec is " + FourCCToString(compression);
            }
            if (width != video->width || height != video->height) {
                return "the pictures are " + SizeText(video->width, video->height) + " (" +
                       video->source + "), its are " + SizeText(width, height);
            }
            checked = ", checked against the " + video->source;
        }
        fields.push_back({s, "codec", FourCCToString(compression), m_source + checked});
        if (videoStream < 0) {
            videoStream = static_cast<int>(s);
            videoFamily = VideoFamilyOf(ref.header.fccHandler, compression);
        }
        fields.push_back({s, "picture size", SizeText(width, height), m_source + checked});
        fields.push_back(
            {s, "frame rate", RateText(ref.header.dwRate, ref.header.dwScale), m_source});
        return std::nullopt;
    }

    std::optional<std::string> Audio(std::uint32_t s, const StreamTally& ref,
                                     std::vector<RebuiltField>& fields) const {
        if (!ref.IsAudio()) return std::string("the data are audio, its stream is not");
        const std::uint32_t channels = FormatField(ref, 2, 2);
        const std::uint32_t rate = FormatField(ref, 4, 4);
        const std::uint32_t blockAlign = FormatField(ref, 12, 2);
        const std::string value = "tag 0x" + TagHex(ref.formatTag) + ", " + std::to_string(rate) +
                                  " Hz, " + std::to_string(channels) + " channels";
        std::string checked;
        if (const std::optional<ProbedAudio>& audio = m_probe.audio[s]) {
            if (AudioFamilyOf(ref.formatTag) != audio->family || rate != audio->sampleRate ||
                channels != audio->channels) {
                return "the data are tag 0x" + TagHex(audio->formatTag) + ", " +
                       std::to_string(audio->sampleRate) + " Hz, " +
                       std::to_string(audio->channels) + " channels (" + audio->source +
                       "), its format is " + value;
            }
            checked = ", checked against the " + audio->source;
        } else if (AudioFamilyOf(ref.formatTag) == AudioFamily::kAac) {
            checked = " (not checked: raw AAC has no frame headers)";
        } else if (AudioFamilyOf(ref.formatTag) != AudioFamily::kPcm) {
            return "the audio chunks open with no frame header of its format " + value;
        } else {
            const std::uint32_t gcd = m_lost.arStreams[s].dwSizeGcd;
            if (blockAlign == 0 || gcd % blockAlign != 0) {
                return "the audio chunks are not whole blocks of its " +
                       std::to_string(blockAlign) + " bytes";
            }
            checked = ", checked against the chunk sizes";
        }
        fields.push_back({s, "audio format", value, m_source + checked});
        return std::nullopt;
    }

    const StreamTallies& m_streams;
    const LOSTMOVIE& m_lost;
    const DataProbe& m_probe;
    const std::string& m_source;
};

}  // namespace

void DataProbe::Chunk(const SCANCHUNK& chunk) {
    if (!IsStreamChunkId(chunk.fccId) || chunk.head.empty()) return;
    const auto s = static_cast<std::size_t>(StreamOfChunk(chunk.fccId));
    if (HasKind(chunk.fccId, "dc") || HasKind(chunk.fccId, "db")) {
        if (video[s] && video[s]->key) return AddVopTime(s, chunk.head);
        std::optional<ProbedVideo> probed = ProbeVideoFrame(chunk.head);
        if (!probed || (video[s] && !probed->key)) return;
        if (probed->key && !firstKey) firstKey = chunk.qwPosition;
        video[s] = std::move(probed);
        if (video[s]->key) AddVopTime(s, chunk.head);
    } else if (HasKind(chunk.fccId, "wb") && !audio[s] && m_audioTries[s] < kAudioTries) {
        ++m_audioTries[s];
        audio[s] = ProbeAudioChunk(chunk.head);
    }
}

std::size_t KeyFrameFinder::HeadBytes() const { return kFramePeekBytes; }

void KeyFrameFinder::Chunk(const SCANCHUNK& chunk) {
    if (first || !IsVideoFrameOf(chunk.fccId, m_stream) || chunk.head.empty()) return;
    if (IsIntraOnly(m_family) || PeekFrame(m_family, chunk.head).key.value_or(false)) {
        first = chunk.qwPosition;
    }
}

void DataProbe::AddVopTime(std::size_t s, std::span<const std::uint8_t> frame) {
    const ProbedVideo& probed = *video[s];
    if (probed.timeResolution == 0 || probed.frameRate || vopTimes[s].size() >= kVopTimes) return;
    if (std::optional<VopTime> time = ProbeVopTime(frame, probed.timeResolution)) {
        vopTimes[s].push_back(*time);
    }
}

std::optional<RebuiltHeaders> InferHeaders(const LOSTMOVIE& lost, const DataProbe& probe,
                                           std::string& why) {
    return Inference(lost, probe).Run(why);
}

std::optional<RebuiltHeaders> CheckedHeaders(std::string list, const CAviParser& avi,
                                             const LOSTMOVIE& lost, const DataProbe& probe,
                                             const std::string& source, std::string& why) {
    RebuiltHeaders out;
    out.list = std::move(list);
    Check check(avi, lost, probe, source);
    if (std::optional<std::string> difference = check.Run(out.fields)) {
        why = std::move(*difference);
        return std::nullopt;
    }
    out.videoStream = check.videoStream;
    out.videoFamily = check.videoFamily;
    return out;
}

std::string StitchedHead(const std::string& list, std::uint64_t movieBytes) {
    std::string head;
    PutId(head, kRiff);
    Put32(head, static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(4 + list.size() + 12 + movieBytes, UINT32_MAX)));
    PutId(head, kAvi);
    head += list;
    PutId(head, kList);
    Put32(head, static_cast<std::uint32_t>(std::min<std::uint64_t>(4 + movieBytes, UINT32_MAX)));
    PutId(head, kMovi);
    return head;
}

}  // namespace plovik
