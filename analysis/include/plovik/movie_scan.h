// A read-only check of the movie data: after the analyser, over the file it still holds
// open, walks every "movi" list that it found, reading chunk headers and no media, and tells how
// much of the file is there: frames and audio present, damaged regions, index entries that point
// nowhere.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/frame_check.h"

namespace plovik {

class RawFile;
class ScanFile;

// Bytes the scan could not use: a run of bytes that holds no well-formed chunk, or the
// data missing at the end of a cut file. Regions that touch are one region.
struct DAMAGEDREGION {
    std::uint64_t qwPosition;  // file position of its first byte
    std::uint64_t qwLength;
};

// A frame of a stream whose codec's structure its bytes break (see plovik/frame_check.h).
struct DAMAGEDFRAME {
    std::uint64_t qwPosition;  // of its chunk's header
    std::uint32_t nStream;
    std::uint64_t qwFrame;   // its number among the stream's frames or sample chunks, from 0
    std::uint32_t dwOffset;  // where in the chunk's data the structure breaks
    std::string reason;      // "JPEG data end without EOI"
};

// What an index says of a chunk: nothing (no entry names it), or whether it is a key frame.
enum class IndexMark : std::uint8_t { kNone, kDelta, kKey };

// A chunk the walk takes as well formed, lying whole within its list and the file.
struct SCANCHUNK {
    std::uint64_t qwPosition;  // of its header
    FOURCC fccId;              // "LIST" for a list
    FOURCC fccListType;        // a list's type ("rec "); 0 for any other chunk
    std::uint32_t dwSize;      // its size field
    std::uint32_t nMoviList;   // which "movi" list it is in (CAviParser::m_Layout.arMoviLists)
    std::uint32_t nDepth;      // 0 straight in "movi", 1 in a "rec " list there
    // The first bytes of a stream chunk's data, as many as the observer asked for (fewer
    // when the chunk is smaller); empty for other chunks.
    std::span<const std::uint8_t> head;
    // What the first index that names the chunk says of it; kNone also for every chunk of a
    // walk whose index is out of file order (compared later, from sorted copies).
    IndexMark mark = IndexMark::kNone;
    std::uint32_t indexFlags = 0;  // that entry's flags (AVIIF_*), where one names it
    // What the frame's own bytes say, for a frame of the video stream whose codec tells it
    // (the scan reads them for the key-flag check); none otherwise.
    std::optional<bool> frameKey;
    // What the stream's frame checker made of the chunk; kCannotTell without a checker.
    FrameState frame = FrameState::kCannotTell;
};

// Told of what the walk meets, in file order: every chunk it takes and every damaged
// region as it is found (regions that touch come as separate calls).
class ScanObserver {
  public:
    virtual ~ScanObserver() = default;
    // How many first bytes of each stream chunk's data Chunk is to see (0: none).
    virtual std::size_t HeadBytes() const { return 0; }
    virtual void Chunk(const SCANCHUNK& chunk) = 0;
    virtual void Damaged(std::uint64_t /*position*/, std::uint64_t /*length*/) {}
};

// The audio against the video, at each audio chunk in file order: the audio's time up to the
// end of the chunk against the time of the video frames before it.
struct SCANINTERLEAVE {
    bool bMeasured = false;          // both streams have chunks and a time
    double dPreload = 0.0;           // seconds of audio before the first video frame
    double dMaxLead = 0.0;           // the most the audio runs ahead, seconds (0 or more)
    std::uint64_t qwMaxLeadPos = 0;  // the audio chunk where it does
    double dMaxLag = 0.0;            // the most it falls behind, seconds (0 or more)
    std::uint64_t qwMaxLagPos = 0;
};

// How the audio stream's data count in time: in the stream's own units (samples of
// dwSampleSize bytes, or chunks where it has no sample size) of scale / rate seconds when
// its header has a rate, else bytes by nAvgBytesPerSec (FLAC and ADPCM give a nominal or
// wrong nAvgBytesPerSec; their headers tell the truth).
struct AUDIOUNITS {
    bool bValid = false;         // an audio stream with a rate of either kind
    std::uint32_t dwSampleSize;  // bytes of a unit; 0: a chunk is a unit
    std::uint32_t dwScale;
    std::uint32_t dwRate;
    std::uint64_t Units(std::uint64_t bytes, std::uint64_t chunks) const {
        return StreamUnits(dwSampleSize, chunks, bytes);
    }
};
AUDIOUNITS AudioUnitsOf(const CAviParser& avi);

constexpr std::size_t kScanKeptRegions = 100;         // regions listed; all are counted
constexpr std::size_t kScanKeptDamagedFrames = 1000;  // damaged frames listed; all counted
// A frame larger than this is not read whole for its checker (it counts as not checked).
constexpr std::uint64_t kScanLargestCheckedFrame = 64u << 20;
constexpr std::size_t kScanBlockBytes = 256u << 10;       // the walk's buffer
constexpr std::size_t kScanIndexBlockBytes = 128u << 10;  // the index reader's

// The movie data of a file whose headers are lost (no "RIFF" form, no readable header
// list, or no "movi" list header), found chunk by chunk from its first byte: where the first
// movie's chunks begin and end, and what they hold of each stream number.
struct LOSTSTREAM {
    FOURCC fccId = 0;  // of its first frame or sample chunk ("00dc", "01wb")
    std::uint64_t qwChunks = 0;
    std::uint64_t qwBytes = 0;
    std::uint32_t dwLargest = 0;
    std::uint32_t dwSizeGcd = 0;  // of its chunks' sizes: a PCM block size divides it
};

struct LOSTMOVIE {
    bool bFound = false;
    std::uint64_t qwStart = 0;                            // of the first stream chunk's header
    std::uint64_t qwEnd = 0;                              // past the last chunk of the first movie
    std::array<LOSTSTREAM, kMaxStreamLists> arStreams{};  // by stream number
    bool bStopped = false;
};

class CMovieScan {
  public:
    // Called now and then during a scan with the file position reached and the file size.
    using Progress = std::function<void(std::uint64_t qwDone, std::uint64_t qwTotal)>;

    struct Options {
        Progress progress = {};                   // called now and then during the scan
        ScanObserver* observer = nullptr;         // told of every chunk and region
        const std::atomic<bool>* stop = nullptr;  // set: the scan ends soon (m_bStopped)
        // The "idx1" entries as the parse kept them; empty: they are read from the file.
        std::span<const std::uint8_t> idx1Entries = {};
        // Each stream's frames checked by its codec's checker; off where only the chunks
        // and the index matter (no frame is counted as checked, nor its type read from its
        // bytes).
        bool frames = true;
    };

    // Scans the open file that avi has analysed, from the layout avi found; what the data
    // hold of each stream goes to avi's tallies.
    void ScanFrom(RawFile& file, CAviParser& avi, const Options& options);
    void ScanFrom(RawFile& file, CAviParser& avi, Progress progress = {}) {
        ScanFrom(file, avi,
                 {.progress = std::move(progress), .observer = nullptr, .stop = nullptr});
    }
    void Reset();
    // Finds the movie data of a file whose headers are lost; the observer (options.observer),
    // if any, is told of every chunk the walk takes, from the first byte on.
    static LOSTMOVIE FindLostMovie(RawFile& file, const Options& options);

    // What the data hold of each stream goes to its tally (CAviParser::m_arStreams); the
    // chunks of stream numbers past the header list's streams are counted here.
    std::uint64_t m_qwUnlistedChunks = 0;
    std::uint32_t m_dwUnlistedLargest = 0;
    std::uint64_t m_qwDamagedRegions = 0;
    std::uint64_t m_qwDamagedBytes = 0;
    std::vector<DAMAGEDREGION> m_arDamagedRegions;  // the first kScanKeptRegions, in file order
    // Where the data end inside the "movi" lists (a cut file); 0 when they do not. The last
    // region runs from there (or from the damage just before it) to where the lists end.
    std::uint64_t m_qwCutAt = 0;
    // The damage within the data the file holds: the regions and their bytes without the
    // missing end, and without the chunk that the end cut.
    std::uint64_t m_qwDataDamagedRegions = 0;
    std::uint64_t m_qwDataDamagedBytes = 0;
    // Chunks of an odd size whose writer left out the pad byte (the walk takes them).
    std::uint64_t m_qwUnpaddedChunks = 0;
    SCANINTERLEAVE m_Interleave;
    // The sizes of the video frames the index marks key and not key (frames no index entry
    // names are in neither).
    SizeTally m_KeyFrameSizes;
    SizeTally m_DeltaFrameSizes;
    // Frames whose checker found their structure broken (each stream's count is in its
    // tally), the first kScanKeptDamagedFrames of them in file order.
    std::uint64_t m_qwDamagedFrames = 0;
    std::vector<DAMAGEDFRAME> m_arDamagedFrames;
    // MPEG audio whose chunks open with frame headers of different bit rates.
    bool m_bAudioBitratesVary = false;
    // Video frames whose type their bytes told (at most their first 4 KiB read), and those
    // of them whose index key flag says otherwise.
    std::uint64_t m_qwTypedFrames = 0;
    std::uint64_t m_qwKeyFlagMismatches = 0;
    // MPEG-4 Part 2 chunks that hold more than one VOP, or whose encoder marks the stream
    // packed; the first of them.
    std::uint64_t m_qwPackedChunks = 0;
    std::uint64_t m_qwFirstPackedChunk = 0;
    // Index check: every entry of "idx1" and of the OpenDML index (the standard index
    // chunks that the video super index lists) should point at a chunk the walk met, with
    // its id and size. A listed index chunk that cannot be read counts as one entry that
    // does not.
    bool m_bIndexMatched = false;  // the file has an index
    std::uint64_t m_qwIndexEntries = 0;
    std::uint64_t m_qwIndexMismatches = 0;
    bool m_bIndexInOrder = true;  // false: checked again from sorted copies in memory
    // Some "idx1" entries point at their chunks only when read with the other offset base
    // (relative where the first entry says absolute, or the reverse).
    bool m_bIdx1OffsetsMixed = false;
    // A read failed or the file shrank: the data after that point counts as missing.
    bool m_bReadFailed = false;
    // Where a failed read ended the walk: nothing from there on is counted, neither as
    // damage nor as index entries pointing nowhere. None when no read failed.
    std::optional<std::uint64_t> m_qwReadEndedAt;
    // Stopped on request before the end: the counts cover only the data walked.
    bool m_bStopped = false;

  private:
    void KeepStreamData(std::span<const StreamTally::Data> data, StreamTallies& streams);
    bool SomeMatchWithTheOtherBase(RawFile& file, ScanFile& shared, const CAviParser& avi,
                                   const Options& options);
};

}  // namespace plovik
