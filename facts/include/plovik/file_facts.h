// The facts of one analysed file: every value that any output shows (the text report, its
// data-check section, JSON, CSV, check lines), each computed once, in the forms those
// outputs need. Filled from the analyser (and the data scan when there was one); the
// outputs render this record and read nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/file_failure.h"
#include "plovik/movie_scan.h"

namespace plovik {

class CFileAnalysis;

// How far the analysis of a file came. kReadFailed: a read failed before the report could be
// made (a read that fails later leaves the status as the analysis made it).
enum class FileStatus {
    kOk,
    kNotAvi,
    kOpenFailed,
    kHeaderFailed,
    kStreamFailed,
    kIndexFailed,
    kReadFailed
};

// The short name of a status for scripts ("open_failed").
const char* StatusName(FileStatus status);

// One flag of the main header, with its name for scripts and its word in the report.
struct HeaderFlag {
    std::uint32_t bit;
    const char* name;        // "has_index"
    const char* reportWord;  // "인덱스있음"
};
// In the order the report shows them.
std::span<const HeaderFlag> HeaderFlags();

// Whole seconds of count units of scale/rate seconds, rounded to the nearest (a half up), as
// the report rounds its running time; none without a rate.
std::optional<std::uint64_t> RoundedSeconds(std::uint64_t count, std::uint32_t scale,
                                            std::uint32_t rate);

struct KeyFrameStats {
    double mean = 0.0;
    double deviation = 0.0;
    double maximum = 0.0;
    bool variable = false;  // "VKI": the deviation exceeds 0.1 s
};

// Statistics of the intervals between the key frames' times.
KeyFrameStats ComputeKeyFrameStats(const KeyFrameList& keys);

struct VideoFacts {
    bool present = false;  // a "vids" stream header was read
    FOURCC handler = 0;
    FOURCC compression = 0;
    std::string handlerText;  // the handler's characters up to a zero byte, as file text
    std::string handlerCode;  // all four, a byte that is not printable ASCII as "[N]"
    std::string compressionCode;
    std::string codecName;  // the catalogue's description (its unknown text when unlisted)
    bool codecListed = false;
    std::optional<std::string_view> shortName;  // for scripts ("h264"); none when unknown
    std::uint32_t width = 0;                    // of the main header
    std::uint32_t height = 0;
    double aspectRatio = 0.0;  // width / height; 0 without a height
    std::uint32_t rate = 0;
    std::uint32_t scale = 0;
    std::uint32_t length = 0;         // frames the stream header counts
    std::optional<double> frameRate;  // rate / scale; none without a scale
    std::int32_t framesPerSec = 0;    // the report's rounded rate (-1 without a scale)
    std::int32_t kbps = 0;            // the report's video bit rate (wraps, may read < 0)
};

struct AudioFacts {
    bool present = false;  // an "auds" stream header was read
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::string formatName;  // the catalogue's description (its unknown text when unlisted)
    bool formatListed = false;
    std::int32_t kbps = 0;  // the report's audio bit rate
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t subFormat = 0;  // the tag inside WAVE_FORMAT_EXTENSIBLE; 0 for others
    std::optional<std::string_view> shortName;  // for scripts ("pcm_s24le"); none when unknown
    std::optional<double> duration;             // the stream header's length, seconds
    // Stored as variable-rate MP3: nBlockAlign of 576 or 1152 and no sample size.
    bool declaredVbr = false;
};

// Sizes of a kind of video frame, in bytes; zero-size (dropped) frames are in neither kind.
struct FrameSizeStats {
    std::uint64_t count = 0;
    std::uint64_t min = 0;
    std::uint64_t max = 0;
    double mean = 0.0;
};
struct FrameSizes {
    bool fromData = false;  // measured on the chunks (with a data check), else from the index
    FrameSizeStats key;
    FrameSizeStats delta;
};

// The audio against the video in file order (see SCANINTERLEAVE).
struct InterleaveFacts {
    bool interleaved = true;  // neither stream runs more than 2 s ahead of the other
    double preload = 0.0;     // seconds of audio before the first video frame
    double maxLead = 0.0;     // seconds the audio runs ahead, at most
    std::uint64_t maxLeadPosition = 0;
    double maxLag = 0.0;  // seconds it falls behind, at most
    std::uint64_t maxLagPosition = 0;
};

enum class IndexKind { kNone, kIdx1, kOpenDml };

struct IndexFacts {
    IndexKind kind = IndexKind::kNone;
    bool superIndex = false;  // the video stream lists OpenDML index chunks
    // Where it stands: the "idx1" chunk, or the first standard index chunk of the super index.
    std::optional<std::uint64_t> position;
    std::optional<std::uint64_t> size;
    // The one decision on the index: it lists as many video frames as its total, whole.
    bool complete = false;
    std::uint32_t totalFrames = 0;  // the frame total the index is compared with
    // Video entries counted (of stream 0, else of the first video stream), zero-size
    // (dropped) frames too, and those of them marked key.
    std::uint32_t videoFrames = 0;
    std::uint32_t keyFrames = 0;
    bool front = false;  // stands before the movie data
    std::optional<KeyFrameStats> intervals;
    const KeyFrameList* keyFrameList = nullptr;  // valid while the analysis is kept
};

// A file whose headers are lost, and the movie data found without them.
struct LostHeaderFacts {
    std::uint64_t dataStart = 0;  // the first stream chunk's header
    struct Stream {
        std::string idText;  // of its first chunk: "00dc"
        std::uint64_t chunks = 0;
    };
    std::vector<Stream> streams;  // the stream numbers with chunks, in order
};

struct ScanFacts {
    std::uint64_t videoFrames = 0;  // present, empty ones included
    // The video stream header's length, and the share of it present (0 without a length);
    // none in a file whose writer never filled the header in.
    std::optional<std::uint32_t> expectedFrames;
    std::optional<double> presentPercent;
    std::uint64_t emptyFrames = 0;
    std::uint64_t audioBytes = 0;
    std::optional<double> audioTime;  // bytes / nAvgBytesPerSec; none without audio or a rate
    std::uint64_t audioSeconds = 0;   // the same truncated; 0 for none
    // The shorter of the video time of the frames present and the audio time; a stream
    // whose time has no rate does not limit the other.
    std::optional<double> playableTime;
    std::uint64_t playableSeconds = 0;           // rounded as the running time is; 0 for none
    std::optional<std::uint64_t> headerSeconds;  // the video header's time, rounded alike
    std::uint64_t damagedRegions = 0;
    std::uint64_t damagedBytes = 0;
    std::vector<DAMAGEDREGION> regions;         // the first ones, in file order
    std::optional<std::uint64_t> indexEntries;  // none when the file has no index
    std::optional<std::uint64_t> indexMismatches;
    bool indexInOrder = true;
    bool idx1OffsetsMixed = false;
    // The damage within the data the file holds (a cut end is not damage), where the data
    // end inside the "movi" lists (0: they do not), chunks missing their pad byte.
    std::uint64_t dataDamagedRegions = 0;
    std::uint64_t dataDamagedBytes = 0;
    std::uint64_t cutAt = 0;
    std::uint64_t unpaddedChunks = 0;
    std::uint64_t firstPartFrames = 0;          // video frames of the first RIFF part
    std::optional<InterleaveFacts> interleave;  // none without both streams and their times
    std::optional<double> videoTime;            // of the frames present
    bool audioBitratesVary = false;             // MPEG audio frames of several bit rates
    // Frames whose index key flag their bytes contradict; none when no frame's type was
    // told or no index names them.
    std::optional<std::uint64_t> keyFlagMismatches;
    // MPEG-4 Part 2 stored packed (several VOPs in a chunk); none for other codecs.
    std::optional<bool> packedBitstream;
    std::uint64_t firstPackedChunk = 0;
    // Frames whose codec's structure their bytes break, the first of them in file order.
    std::uint64_t damagedFrames = 0;
    std::vector<DAMAGEDFRAME> damagedFrameList;
    std::uint32_t largestChunk = 0;    // of any stream
    std::uint64_t streamChunks = 0;    // of all streams, palette changes included
    std::uint64_t unlistedChunks = 0;  // of stream numbers no stream list describes
    bool stopped = false;              // the scan was stopped before its end
};

// One stream, from its tally: what its header says, what the index lists and what the data
// hold of it, each length also in seconds.
struct StreamFacts {
    FOURCC type = 0;                // "vids", "auds", "txts"; 0 for a list without a header
    bool hasHeader = false;         // its list holds a "strh"
    std::uint32_t formatBytes = 0;  // of its "strf"
    std::string_view kind;          // "video", "audio", "text", "midi", "dv", "other", "none"
    std::string typeCode;           // the stream type as shown ("vids", "[0][0][0][0]")
    std::string code;               // a video codec's FourCC as shown ("XVID"); else empty
    std::uint16_t formatTag = 0;    // an audio stream's (the sub-format's if extensible)
    std::optional<std::string_view> codec;  // short name for scripts ("h264", "mp3")
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t length = 0;  // the header's, in the stream's units
    std::uint32_t sampleSize = 0;
    std::uint32_t suggestedBufferSize = 0;
    std::optional<double> duration;  // of the header's length; none without a rate
    // What the index lists of it, and its length by them; with an index only.
    struct Indexed {
        std::uint64_t entries = 0;
        std::uint64_t length = 0;
        std::optional<double> duration;
    };
    std::optional<Indexed> indexed;
    // What the data hold of it; with a data scan only.
    struct Present {
        std::uint64_t chunks = 0;  // frames or sample chunks, empty ones included
        std::uint64_t bytes = 0;
        std::uint64_t emptyChunks = 0;
        std::uint64_t paletteChanges = 0;
        std::uint32_t largest = 0;
        std::uint64_t length = 0;
        std::optional<double> duration;
        std::uint64_t damagedFrames = 0;  // whose structure their checker found broken
    };
    std::optional<Present> present;
    // What its frames are checked for: "full", "headers" or "none" (see plovik/frame_check.h).
    std::string_view frameCheck = "none";
};

// One RIFF part.
struct RiffPartFacts {
    std::uint64_t position = 0;
    std::uint64_t size = 0;  // its size field
    FOURCC form = 0;         // "AVI ", "AVIX"
};

// A top-level chunk the check has something to say about.
struct TopChunkFacts {
    std::uint64_t position = 0;
    FOURCC id = 0;
    std::string idText;  // as a FourCC is shown
    std::uint64_t end = 0;
};

// The file's structure, as far as the check needs it.
struct StructureFacts {
    std::vector<RiffPartFacts> parts;
    std::optional<TopChunkFacts> firstOverrun;  // the first top-level chunk past its part
    std::optional<TopChunkFacts> firstUnknown;  // the first unknown top-level chunk
    std::uint64_t unknownChunks = 0;
    std::uint64_t trailingBytes = 0;
    std::uint64_t secondMovie = 0;  // where another movie begins; 0: none
    bool moviOutgrown = false;      // the movie data run past the sizes given, as being written
    int streamLists = 0;
    std::uint32_t headerStreams = 0;  // avih's dwStreams
    std::uint32_t microSecPerFrame = 0;
    std::uint32_t totalFrames = 0;  // avih's
    std::uint32_t suggestedBufferSize = 0;
    std::int32_t formatWidth = 0;  // the video format's
    std::int32_t formatHeight = 0;
    int videoStream = -1;
    int audioStream = -1;                      // the one the report shows
    std::optional<std::uint32_t> grandFrames;  // dmlh's
    std::uint64_t moviSizeField = 0;           // of the first "movi" list; 0 without one
    bool hasMovi = false;
};

enum class Severity { kError, kWarning, kInfo };
const char* SeverityName(Severity severity);  // "error", "warning", "info"

// A rule of the conformance check: a stable id for scripts, how much a file that breaks
// it suffers, and what it checks in one line.
struct Rule {
    const char* id;  // "riff.truncated"
    Severity severity;
    const char* summary;
};

// A rule that fired on a file: how much the file suffers from it here (the rule's severity,
// or less where its case is milder), where, and what was found, with the numbers.
struct Finding {
    const Rule* rule;
    Severity severity;
    std::optional<std::uint64_t> position;  // the byte it applies to
    std::optional<std::uint64_t> length;    // of the region, where it is one
    std::string message;                    // "truncated (71683 bytes missing)"
};

// What the check makes of a file, worst first.
enum class Verdict { kUnreadable, kDamaged, kWarnings, kOk };
const char* VerdictName(Verdict verdict);  // "unreadable", "damaged", "warnings", "ok"

struct FileFacts {
    std::string path;         // as given (bytes)
    std::string displayPath;  // as shown: valid UTF-8 as it is, else read as CP949
    std::string fileName;     // name and extension, as shown

    FileStatus status = FileStatus::kOk;
    int errorCode = PARSE_OK;  // the analyser's failure code
    // Why the file gave only a message, for diagnostics ("not an AVI file"); empty otherwise.
    std::string failure;
    std::optional<FileFailure> readFailure;  // the first read of the file that failed
    // The writer never finished the file: size fields left as placeholders, no index.
    bool unfinished = false;

    std::uint64_t fileSize = 0;
    std::uint32_t riffSize = 0;  // the first RIFF part's size field
    std::uint64_t dataSize = 0;  // the size fields of every RIFF part summed
    std::uint32_t riffParts = 0;
    // Bytes the RIFF parts promise (their data and 8-byte headers) beyond the end of the file.
    std::uint64_t missingBytes = 0;
    // The report's damage line: the file is shorter than its data size (up to 8 bytes per
    // part less strict than missingBytes, which counts the part headers too).
    bool shorterThanData = false;

    std::int32_t runningTime = 0;       // whole seconds, rounded; of the audio without video
    std::uint64_t kiloBytesPerSec = 0;  // data size / running time / 1000
    std::optional<double> duration;     // seconds, exact; none without a video rate
    std::string software;               // as shown; empty when the file names none
    std::uint32_t flags = 0;            // of the main header
    VideoFacts video;
    AudioFacts audio;
    IndexFacts index;
    bool hasText = false;
    std::optional<FrameSizes> frameSizes;  // none without an index or a data check
    std::optional<bool> audioVbr;          // none without audio
    StructureFacts structure;
    std::vector<StreamFacts> streams;  // one per stream list, in file order

    std::optional<ScanFacts> scan;               // with a data check
    std::optional<LostHeaderFacts> lostHeaders;  // with a data check, where headers are lost

    // The conformance check: the rules that fired, in file order of their findings, and
    // the verdict they make.
    std::vector<Finding> findings;
    Verdict verdict = Verdict::kOk;
};

// Only the first failures leave nothing to report.
inline bool GaveOnlyMessage(FileStatus status) {
    return status == FileStatus::kNotAvi || status == FileStatus::kOpenFailed ||
           status == FileStatus::kHeaderFailed || status == FileStatus::kReadFailed;
}
// Which groups of facts a file has, by how far its analysis came.
inline bool HasFileSize(FileStatus status) { return status != FileStatus::kOpenFailed; }
inline bool HasRiffSizes(FileStatus status) {
    return HasFileSize(status) && status != FileStatus::kNotAvi &&
           status != FileStatus::kReadFailed;
}
inline bool HasHeaders(FileStatus status) { return !GaveOnlyMessage(status); }
// The status the outputs give a file: a file whose read failed is kReadFailed, also when its
// report could be made.
inline FileStatus OutputStatus(const FileFacts& facts) {
    return facts.readFailure ? FileStatus::kReadFailed : facts.status;
}

// "read error at byte 4096 (Input/output error)"
std::string ReadFailureText(const FileFailure& failure);

// Whether the file ought to have an index: its header claims one, or it has video to seek in.
bool IndexExpected(const FileFacts& facts);

// The rules of the conformance check, in the order their findings are listed.
std::span<const Rule> Rules();
// The findings of the facts, and the verdict they make.
std::vector<Finding> FindFindings(const FileFacts& facts);
Verdict VerdictOf(const FileFacts& facts, const std::vector<Finding>& findings);

// The facts of the file at path as avi analysed it; scan is its data check (or null), and
// openError why it could not be opened.
FileFacts FillFacts(const std::string& path, const CAviParser& avi, const CMovieScan* scan,
                    const std::string& openError = {});
// With judged, the findings and the verdict too (a run that shows neither leaves them out:
// they cost a small file's report as much again).
FileFacts FillFacts(const std::string& path, const CFileAnalysis& analysis, bool judged = true);

}  // namespace plovik
