// The AVI analyser: walks the RIFF chunks of one file, keeps the headers and
// scans the index for key frames: the "idx1" chunk, or for a file in several RIFF
// parts the OpenDML index of the whole file. No media data is ever read.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "plovik/avi_records.h"
#include "plovik/key_frames.h"
#include "plovik/stream_tally.h"

namespace plovik {

enum : int {
    PARSE_OK = 0,
    PARSE_ERR_NOT_AVI = 1,
    PARSE_ERR_OPEN = 2,
    PARSE_ERR_HEADER = 3,
    PARSE_ERR_STREAM = 4,
    PARSE_ERR_INDEX = 6,
};

// Which index the key-frame results come from.
enum : int {
    INDEX_KIND_NONE = 0,     // none met (or the walk ended before one)
    INDEX_KIND_IDX1 = 1,     // the AVI 1.0 "idx1" chunk
    INDEX_KIND_OPENDML = 2,  // the standard index chunks that a video "indx" lists
};

// Where a top-level chunk stands: the position of its header and the end of its data (a
// list ends with its RIFF part, whatever its own size says).
struct AVIEXTENT {
    std::uint64_t qwPosition;
    std::uint64_t qwEnd;
};

// A top-level RIFF part ("AVI " first, then "AVIX" in an OpenDML file).
struct AVIRIFFPART {
    std::uint64_t qwPosition;  // of its "RIFF" header
    std::uint64_t qwEnd;       // where its size says it ends, the pad byte included
    FOURCC fccForm;            // "AVI ", "AVIX"; 0 when the file ends before it
};

// A chunk at the top level of a RIFF part, as the layout saw it.
struct AVITOPCHUNK {
    std::uint64_t qwPosition;  // of its header
    FOURCC fccId;
    FOURCC fccListType;  // a list's type; 0 for any other chunk
    std::uint32_t dwSize;
    std::uint32_t nPart;  // which RIFF part it is in, from 0
};

// What the layout tells beyond the report's fields: the RIFF parts, their top-level chunks,
// the "movi" lists, the stream lists, the OpenDML extended header.
struct AVILAYOUT {
    std::vector<AVIRIFFPART> arRiffParts;  // the first kLayoutKept, in file order
    std::vector<AVITOPCHUNK> arTopChunks;  // the first kLayoutKept, in file order
    // The "movi" lists at the top level of every RIFF part, in file order: where the scan of
    // the movie data walks.
    std::vector<AVIEXTENT> arMoviLists;
    // Bytes after the last RIFF part that do not begin another one.
    std::uint64_t qwTrailingBytes = 0;
    // Where a later "RIFF" part of form "AVI " begins another movie (files joined end to
    // end); 0 when none does. The parts, lists and chunks above are the first movie's.
    std::uint64_t qwSecondMovie = 0;
    // The movie data run past the sizes their writer gave (placeholders, or chunks after the
    // end of the list) and there is no index: a file still being written.
    bool bUnfinished = false;
    // The "strl" lists of the first part's header list (the streams a chunk id may name).
    int nStreamLists = 0;
    // The numbers of the stream lists (from 0, in file order) whose video and audio headers
    // are kept; -1: none.
    int nVideoStream = -1;
    int nAudioStream = -1;
    // "dmlh" of the "odml" list: the frames of the whole file.
    bool bHasGrandFrames = false;
    std::uint32_t dwGrandFrames = 0;
};

// The layout keeps at most this many RIFF parts and "movi" lists; all are counted.
constexpr std::size_t kLayoutKept = 4096;
// Stream lists are counted up to this (a chunk id holds a two-digit stream number).
constexpr int kMaxStreamLists = 100;

constexpr std::uint32_t AVIF_HASINDEX = 0x10;
constexpr std::uint32_t AVIF_MUSTUSEINDEX = 0x20;
constexpr std::uint32_t AVIIF_KEYFRAME = 0x10;

class ByteSource;

// What a parse reads beyond what the report needs.
struct ParseExtras {
    bool indexTallies = false;  // what the index lists of every stream (m_arStreams[i].index)
    // Where the "idx1" entries are kept as they are read, for a data scan that matches them
    // against the chunks (not kept when they pass kKeptIdx1Bytes or cannot all be read).
    std::vector<std::uint8_t>* keptIdx1 = nullptr;
};
// The most "idx1" bytes kept in memory for the data scan; a larger index is read again.
inline constexpr std::size_t kKeptIdx1Bytes = 64 * 1024 * 1024;

class CAviParser {
  public:
    CAviParser();
    virtual ~CAviParser();
    CAviParser(const CAviParser&) = delete;
    CAviParser& operator=(const CAviParser&) = delete;

    // Analyses one file (path in UTF-8). FALSE: m_nError says why.
    bool Parse(const std::string& strPath, std::uint32_t dwTimeout, bool bSkipIndex);
    // The same analysis over an already open source (memory in tests and fuzzing);
    // strPath only names it. A null source fails with PARSE_ERR_OPEN.
    bool ParseFrom(std::unique_ptr<ByteSource> source, const std::string& strPath,
                   std::uint32_t dwTimeout, bool bSkipIndex, ParseExtras extras = {});
    void Reset();
    bool IsFrontIndex() const;
    // The super index of the video stream kept: the standard index chunks that the OpenDML
    // index is read from; empty when it has none.
    const std::vector<AVISUPERINDEXENTRY>& VideoSuperIndex() const;
    std::string GetFileName() const { return m_strFileName; }

    AVIMAINHEADER m_MainHeader{};
    AVISTREAMHEADER m_AudioHeader{};
    AVISTREAMHEADER m_VideoHeader{};
    AVISTREAMHEADER m_TextHeader{};
    WAVEFORMATEX m_AudioFormat{};
    BITMAPINFO m_VideoFormat{};
    std::string m_strPathName;
    std::string m_strFileName;
    std::uint32_t m_dwRiffSize = 0xFFFFFFFF;
    std::uint64_t m_qwFileSize = 0;
    // Sum of the size fields of every top-level RIFF part (OpenDML files have several).
    std::uint64_t m_qwDataSize = 0;
    std::int64_t m_llMoviPos = 0;
    std::int64_t m_llMoviSize = 0;
    std::int64_t m_llIndexPos = 0;
    std::int64_t m_llIndexSize = 0;
    bool m_bHasText = false;
    // The key frames of the index, with their times (seconds) and records.
    KeyFrameList m_arKeyFrames;
    std::uint32_t m_nKeyFrames = 0;
    bool m_bIndexOK = false;
    int m_nIndexKind = INDEX_KIND_NONE;
    // Video entries the index reader counted, and the frame total it is compared with
    // (the main header's for "idx1", the video stream header's length for OpenDML).
    std::uint32_t m_nIndexFrames = 0;
    std::uint32_t m_dwIndexTotalFrames = 0;
    // Top-level RIFF parts ("AVI " and each "AVIX"); 0 before the RIFF header is read.
    std::uint32_t m_nRiffParts = 0;
    AVILAYOUT m_Layout;
    // Every stream list's facts, in file order: its headers, what the index lists of it, and
    // after a scan of the movie data what the data hold of it.
    StreamTallies m_arStreams;
    int m_nError = PARSE_OK;
    std::string m_strSoftware;  // bytes as found in the file, not decoded
    std::uint32_t m_dwTimeout = 0xFFFFFFFF;
    bool m_bSkipIndex = false;
    // Where the file's position stood when Parse closed it (where the last reader
    // stopped); -1 when no file was opened.
    std::int64_t m_llFilePos = -1;

  private:
    bool Analyse(std::unique_ptr<ByteSource> source, const std::string& strPath,
                 ParseExtras extras);
};

// Four bytes of a FOURCC in memory order; ends early at a zero byte.
std::string FourCCToString(FOURCC fcc);

// Path pieces; both "/" and "\\" separate, a drive letter ("C:") is dropped.
std::string GetFileNameExt(const std::string& path);   // "clip.avi"
std::string GetFileNameOnly(const std::string& path);  // "clip"
std::string GetFileDirOnly(const std::string& path);   // "\\video\\", with trailing separator

}  // namespace plovik
