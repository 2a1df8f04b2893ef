#include "plovik/file_analysis.h"

#include "byte_source.h"
#include "idx1_index.h"
#include "raw_file.h"
#include "riff_reader.h"

namespace plovik {
namespace {

// The "idx1" entries of the video stream numbered stream, read again from the file.
CFileAnalysis::IndexCount CountVideoStreamEntries(RawFile& file, const CAviParser& avi,
                                                  int stream) {
    CFileAnalysis::IndexCount count;
    const std::unique_ptr<ByteSource> source = MakeFileSource(file);
    std::uint8_t header[8];
    if (source->Seek(avi.m_llIndexPos) < 0 || !source->Read(header, sizeof header) ||
        LoadLe32(header) != kIdx1) {
        return count;
    }
    const FOURCC video = VideoChunkId(stream);
    Idx1Reader entries(*source, LoadLe32(header + 4) / kIdx1EntryBytes);
    for (std::span<const std::uint8_t> run = entries.NextRun(); !run.empty();
         run = entries.NextRun()) {
        for (std::size_t i = 0; i < run.size(); i += kIdx1EntryBytes) {
            if ((Idx1Id(&run[i]) | kVideoIdMask) != video) continue;
            ++count.frames;
            count.keyFrames += (Idx1Flags(&run[i]) & AVIIF_KEYFRAME) != 0 ? 1 : 0;
        }
    }
    return count;
}

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
    const int video = m_parser.m_Layout.nVideoStream;
    m_videoStreamIndex.reset();
    if (reported && video > 0 && m_parser.m_nIndexKind == INDEX_KIND_IDX1) {
        m_videoStreamIndex = CountVideoStreamEntries(file, m_parser, video);
    }
    // Without a scan m_scan is left as it was: m_bScanned says it is not this file's.
    if (m_bScanned) m_scan.ScanFrom(file, m_parser, options.data);
    m_readFailure = file.Failure();
}

}  // namespace plovik
