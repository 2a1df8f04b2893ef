#include "plovik/file_analysis.h"

#include "byte_source.h"
#include "idx1_index.h"
#include "raw_file.h"
#include "riff_reader.h"
#include "std_index.h"

namespace plovik {
namespace {

// What an index says of the video frames of the stream numbered stream, read again from the
// file: the parser's readers count stream 0 and keep no sizes.
class VideoIndexReader {
  public:
    VideoIndexReader(RawFile& file, int stream)
        : m_source(MakeFileSource(file)), m_stream(stream) {}

    CFileAnalysis::IndexCount Idx1(const CAviParser& avi) {
        std::uint8_t header[8];
        if (m_source->Seek(avi.m_llIndexPos) < 0 || !m_source->Read(header, sizeof header) ||
            LoadLe32(header) != kIdx1) {
            return m_count;
        }
        Idx1Reader entries(*m_source, LoadLe32(header + 4) / kIdx1EntryBytes);
        for (auto run = entries.NextRun(); !run.empty(); run = entries.NextRun()) {
            for (std::size_t i = 0; i < run.size(); i += kIdx1EntryBytes) {
                const std::uint8_t* entry = &run[i];
                if (!IsVideoFrameOf(Idx1Id(entry), m_stream)) continue;
                Frame(Idx1Size(entry), (Idx1Flags(entry) & AVIIF_KEYFRAME) != 0);
            }
        }
        return m_count;
    }

    CFileAnalysis::IndexCount OpenDml(const CAviParser& avi) {
        StdIndexReader chunks(*m_source);
        for (const AVISUPERINDEXENTRY& listed : avi.m_arSuperIndex) {
            if (!chunks.Enter(listed.qwOffset)) continue;
            for (auto run = chunks.NextRun(); !run.empty(); run = chunks.NextRun()) {
                for (std::size_t i = 0; i < run.size(); i += kStdIndexEntryBytes) {
                    Frame(StdEntrySize(&run[i]), StdEntryIsKey(&run[i]));
                }
            }
        }
        return m_count;
    }

  private:
    void Frame(std::uint32_t size, bool key) {
        ++m_count.frames;
        m_count.keyFrames += key ? 1 : 0;
        if (size != 0) (key ? m_count.keySizes : m_count.deltaSizes).Add(size);
    }

    std::unique_ptr<ByteSource> m_source;
    int m_stream;
    CFileAnalysis::IndexCount m_count;
};

}  // namespace

void CFileAnalysis::Analyse(const std::string& strPath, const Options& options) {
    OpenedFile opened = OpenRawFile(strPath);
    if (!opened.file) {
        m_parser.ParseFrom(nullptr, strPath, 0xFFFFFFFF, false);
        m_bScanned = false;
        m_strOpenError = std::move(opened.error);
        m_readFailure.reset();
        m_videoStreamIndex.reset();
        return;
    }
    AnalyseOpen(*opened.file, strPath, options);
}

void CFileAnalysis::AnalyseOpen(RawFile& file, const std::string& strPath, const Options& options) {
    m_strOpenError.clear();
    const bool parsed = m_parser.ParseFrom(MakeFileSource(file), strPath, 0xFFFFFFFF, false);
    const int error = m_parser.m_nError;
    // Only a file that gave a report has movie data worth checking.
    const bool reported = parsed || (error != PARSE_ERR_NOT_AVI && error != PARSE_ERR_OPEN &&
                                     error != PARSE_ERR_HEADER);
    m_bScanned = options.scan && reported;
    m_videoStreamIndex.reset();
    if (reported) ReadVideoIndex(file, options.indexSizes);
    // Without a scan m_scan is left as it was: m_bScanned says it is not this file's.
    if (m_bScanned) m_scan.ScanFrom(file, m_parser, options.data);
    m_readFailure = file.Failure();
}

// The index read again for its video frames: always when the video is not stream 0, whose
// frames the parser counts, and for their sizes when they are asked for.
void CFileAnalysis::ReadVideoIndex(RawFile& file, bool sizes) {
    const int video = std::max(m_parser.m_Layout.nVideoStream, 0);
    if (video == 0 && !sizes) return;
    VideoIndexReader reader(file, video);
    if (m_parser.m_nIndexKind == INDEX_KIND_IDX1) {
        m_videoStreamIndex = reader.Idx1(m_parser);
    } else if (m_parser.m_nIndexKind == INDEX_KIND_OPENDML) {
        m_videoStreamIndex = reader.OpenDml(m_parser);
    }
}

}  // namespace plovik
