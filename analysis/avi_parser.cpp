// CAviParser's own operations: the results' lifecycle and the order of the readers
// (parse_state.h lists them and their files).
#include "plovik/avi_parser.h"

#include "byte_source.h"
#include "parse_state.h"

namespace plovik {
namespace {

// A batch parses file after file into the same parser: the key-frame list keeps its storage
// up to this many key frames, and gives back what one long film needed.
constexpr std::size_t kKeptKeyFrames = 1 << 16;

}  // namespace

CAviParser::CAviParser() { Reset(); }

CAviParser::~CAviParser() = default;

void CAviParser::Reset() {
    m_llFilePos = -1;
    m_dwRiffSize = 0xFFFFFFFF;
    m_qwFileSize = 0;
    m_qwDataSize = 0;
    m_bHasText = false;
    m_llMoviPos = 0;
    m_llMoviSize = 0;
    m_llIndexPos = 0;
    m_llIndexSize = 0;
    if (m_arKeyFrames.size() > kKeptKeyFrames) m_arKeyFrames.Clear();
    m_arKeyFrames.Restart(0);
    m_nKeyFrames = 0;
    m_bIndexOK = false;
    m_nIndexKind = INDEX_KIND_NONE;
    m_nIndexFrames = 0;
    m_dwIndexTotalFrames = 0;
    m_nRiffParts = 0;
    // Emptied, not freed: a batch parses file after file into the same storage.
    m_Layout.arRiffParts.clear();
    m_Layout.arTopChunks.clear();
    m_Layout.arMoviLists.clear();
    m_arStreams.clear();
    m_Layout.qwTrailingBytes = 0;
    m_Layout.qwSecondMovie = 0;
    m_Layout.bUnfinished = false;
    m_Layout.nVideoStream = -1;
    m_Layout.bHasGrandFrames = false;
    m_Layout.dwGrandFrames = 0;
    m_Layout.nStreamLists = 0;
    m_Layout.nAudioStream = -1;
    m_nError = PARSE_OK;
    m_strSoftware.clear();
    m_bSkipIndex = false;
    m_dwTimeout = 0xFFFFFFFF;
    m_MainHeader = {};
    m_VideoHeader = {};
    m_AudioHeader = {};
    m_TextHeader = {};
    m_AudioFormat = {};
    m_VideoFormat = {};
}

bool CAviParser::Parse(const std::string& strPath, std::uint32_t dwTimeout, bool bSkipIndex) {
    Reset();
    m_dwTimeout = dwTimeout;
    m_bSkipIndex = bSkipIndex;
    std::unique_ptr<ByteSource> source = OpenFileSource(strPath);
    if (!source) {
        m_nError = PARSE_ERR_OPEN;
        return false;
    }
    return Analyse(std::move(source), strPath, {});
}

bool CAviParser::ParseFrom(std::unique_ptr<ByteSource> source, const std::string& strPath,
                           std::uint32_t dwTimeout, bool bSkipIndex, ParseExtras extras) {
    Reset();
    m_dwTimeout = dwTimeout;
    m_bSkipIndex = bSkipIndex;
    if (!source) {
        m_nError = PARSE_ERR_OPEN;
        return false;
    }
    return Analyse(std::move(source), strPath, extras);
}

// The walk, the hop over the RIFF parts, then the OpenDML index where it stands for
// the file. An index failure after a walk that failed otherwise keeps the first code.
bool CAviParser::Analyse(std::unique_ptr<ByteSource> source, const std::string& strPath,
                         ParseExtras extras) {
    m_qwFileSize = source->Size();
    source->Seek(0);
    ParseState state(*this, *source, extras);
    bool result = WalkChunks(state);
    if (m_nError != PARSE_ERR_NOT_AVI) {
        CompleteLayout(state);
        if (OpenDmlIndexApplies(state) && !ReadOpenDmlIndex(state)) {
            if (m_nError == PARSE_OK) m_nError = PARSE_ERR_INDEX;
            result = false;
        }
    }
    m_llFilePos = source->Position();
    source.reset();  // the file is closed before Parse returns
    m_strPathName = strPath;
    m_strFileName = GetFileNameExt(strPath);
    return result;
}

const std::vector<AVISUPERINDEXENTRY>& CAviParser::VideoSuperIndex() const {
    static const std::vector<AVISUPERINDEXENTRY> kNone;
    const int video = m_Layout.nVideoStream;
    if (video < 0 || static_cast<std::size_t>(video) >= m_arStreams.size()) return kNone;
    return m_arStreams[static_cast<std::size_t>(video)].superIndex;
}

bool CAviParser::IsFrontIndex() const {
    return m_llMoviPos != 0 && m_llIndexPos != 0 && m_llIndexPos < m_llMoviPos;
}

std::string FourCCToString(FOURCC fcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fcc >> (8 * i)) & 0xFF);
        if (c == '\0') break;
        text += c;
    }
    return text;
}

}  // namespace plovik
