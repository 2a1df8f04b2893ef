#include "copy_writer.h"
#include "plovik/chunk_ids.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "raw_file.h"

namespace plovik {
namespace {

constexpr std::size_t kBlockBytes = 4u << 20;

// The copy's bytes in order through one block buffer.
class Output {
  public:
    Output(RawFile& input, RepairSink& sink, const RepairOptions& options, std::uint64_t total)
        : m_input(input),
          m_sink(sink),
          m_options(options),
          m_total(total),
          // No larger than the copy, and not zeroed: only bytes put into it are written.
          m_capacity(static_cast<std::size_t>(std::clamp<std::uint64_t>(total, 1, kBlockBytes))),
          m_buffer(std::make_unique_for_overwrite<std::uint8_t[]>(m_capacity)) {}

    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    bool Stopped() const { return m_stopped; }
    std::uint64_t Written() const { return m_written + m_used; }

    void Le(std::uint64_t value, int width) {
        std::uint8_t bytes[8];
        for (int i = 0; i < width; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
        Put(bytes, static_cast<std::size_t>(width));
    }
    void Put(const void* bytes, std::size_t n) {
        const auto* from = static_cast<const std::uint8_t*>(bytes);
        while (n > 0 && Ok()) {
            const std::size_t step = std::min(n, m_capacity - m_used);
            std::memcpy(m_buffer.get() + m_used, from, step);
            m_used += step;
            from += step;
            n -= step;
            if (m_used == m_capacity) Flush();
        }
    }
    // The input's bytes [position, position + n): a long run copied by the system where it
    // can, the rest read straight into the buffer; zeros for any past the input's end (the
    // pad byte of a last chunk).
    void Copy(std::uint64_t position, std::uint64_t n) {
        if (n >= kBlockBytes) CopyBySystem(position, n);
        while (n > 0 && Ok()) {
            const std::size_t step =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, m_capacity - m_used));
            std::size_t got = 0;
            if (position < m_input.Size()) {
                const std::size_t want = static_cast<std::size_t>(
                    std::min<std::uint64_t>(step, m_input.Size() - position));
                const std::int64_t read = m_input.ReadAt(position, m_buffer.get() + m_used, want);
                if (read <= 0) return Fail(ReadFailure(position));
                got = static_cast<std::size_t>(read);
            } else {
                got = step;
                std::memset(m_buffer.get() + m_used, 0, step);
            }
            m_used += got;
            position += got;
            n -= got;
            if (m_used == m_capacity) Flush();
        }
    }
    void Flush() {
        if (!Ok() || m_used == 0 || StopAsked()) return;
        if (!m_sink.Write(m_buffer.get(), m_used)) return Fail("write failed: " + m_sink.Error());
        m_written += m_used;
        m_used = 0;
        Progress();
    }

  private:
    void CopyBySystem(std::uint64_t& position, std::uint64_t& n) {
        Flush();
        while (Ok() && n >= kBlockBytes && position + n <= m_input.Size()) {
            if (StopAsked()) return;
            const std::int64_t copied =
                m_sink.CopyFrom(m_input, position, std::min<std::uint64_t>(n, 16 * kBlockBytes));
            if (copied < 0) return Fail("write failed: " + m_sink.Error());
            if (copied == 0) return;
            position += static_cast<std::uint64_t>(copied);
            n -= static_cast<std::uint64_t>(copied);
            m_written += static_cast<std::uint64_t>(copied);
            Progress();
        }
    }
    bool StopAsked() {
        if (m_options.stop == nullptr || !m_options.stop->load(std::memory_order_relaxed)) {
            return false;
        }
        m_stopped = true;
        Fail("stopped");
        return true;
    }
    void Progress() {
        if (m_options.progress) m_options.progress(RepairPhase::kWriting, m_written, m_total);
    }
    void Fail(std::string why) {
        if (m_error.empty()) m_error = std::move(why);
    }
    std::string ReadFailure(std::uint64_t position) const {
        const auto& failure = m_input.Failure();
        return "read error at byte " + std::to_string(failure ? failure->position : position) +
               (failure ? " (" + failure->reason + ")" : std::string(" (the file shrank)"));
    }

    RawFile& m_input;
    RepairSink& m_sink;
    const RepairOptions& m_options;
    std::uint64_t m_total;
    const std::size_t m_capacity;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_written = 0;
    std::string m_error;
    bool m_stopped = false;
};

class CopyWriter {
  public:
    CopyWriter(Output& out, CopyPlan& plan, const std::vector<KeptChunk>& chunks)
        : m_out(out), m_plan(plan), m_chunks(chunks) {}

    void Write() {
        SetSuperIndexes();
        for (std::size_t p = 0; p < m_plan.parts.size() && m_out.Ok(); ++p) WritePart(p);
        m_out.Flush();
    }

  private:
    void WritePart(std::size_t p) {
        const CopyPart& part = m_plan.parts[p];
        m_out.Le(kRiff, 4);
        m_out.Le(part.bytes - 8, 4);
        m_out.Le(MakeFourCC(p == 0 ? "AVI " : "AVIX"), 4);
        if (p != 0) return WriteMovi(part);
        for (const TopItem& item : m_plan.items) {
            if (item.kind == TopItem::kCopy) m_out.Copy(item.position, item.bytes);
            if (item.kind == TopItem::kHeaderList) {
                const std::string bytes = m_plan.header.Bytes();
                m_out.Put(bytes.data(), bytes.size());
            }
            if (item.kind == TopItem::kMovie) {
                WriteMovi(part);
                if (m_plan.withIdx1) WriteIdx1(part);
            }
        }
    }

    void WriteMovi(const CopyPart& part) {
        std::uint64_t index = 0;
        for (const std::uint32_t entries : part.entries)
            index += CopyPlan::StandardIndexBytes(entries);
        m_out.Le(kList, 4);
        m_out.Le(4 + part.dataBytes + index, 4);
        m_out.Le(kMovi, 4);
        CopyChunks(part);
        for (std::size_t s = 0; s < kMaxStreamLists; ++s) {
            if (part.entries[s] != 0) WriteStandardIndex(part, s);
        }
    }

    // Adjacent chunks go as one run; a chunk whose writer left out its pad byte gets one.
    void CopyChunks(const CopyPart& part) {
        std::uint64_t runStart = 0;
        std::uint64_t runEnd = 0;
        for (std::size_t i = part.first; i < part.end && m_out.Ok(); ++i) {
            const KeptChunk& chunk = m_chunks[i];
            if (chunk.Emptied()) {  // its header with a size of 0, none of its data
                m_out.Copy(runStart, runEnd - runStart);
                m_out.Le(chunk.id, 4);
                m_out.Le(0, 4);
                runStart = runEnd = chunk.Position() + 8 + chunk.size + (chunk.size & 1);
                continue;
            }
            if (chunk.Position() != runEnd) {
                m_out.Copy(runStart, runEnd - runStart);
                runStart = chunk.Position();
            }
            runEnd = chunk.Position() + 8 + chunk.size;
            if ((chunk.size & 1) == 0) continue;
            const bool unpadded = i + 1 < part.end && m_chunks[i + 1].Position() == runEnd;
            if (!unpadded) {
                ++runEnd;
                continue;
            }
            m_out.Copy(runStart, runEnd - runStart);
            m_out.Le(0, 1);
            runStart = runEnd = m_chunks[i + 1].Position();
        }
        m_out.Copy(runStart, runEnd - runStart);
    }

    // Offsets from the "movi" type, as the common muxers write them, unless the original's
    // counted from the start of the file.
    void WriteIdx1(const CopyPart& part) {
        m_out.Le(kIdx1, 4);
        m_out.Le(16 * m_plan.idx1Entries, 4);
        const std::uint64_t base = m_plan.idx1Absolute ? 0 : part.moviPosition + 8;
        std::uint64_t position = part.moviPosition + 12;
        for (std::size_t i = part.first; i < part.end && m_out.Ok(); ++i) {
            const KeptChunk& chunk = m_chunks[i];
            if (chunk.Indexed()) {
                m_out.Le(chunk.id, 4);
                m_out.Le(chunk.Idx1Flags(), 4);
                m_out.Le(position - base, 4);
                m_out.Le(chunk.WrittenSize(), 4);
            }
            position += chunk.Bytes();
        }
    }

    // Offsets from the part's "movi" list to each chunk's data; bit 31 marks a delta frame.
    void WriteStandardIndex(const CopyPart& part, std::size_t stream) {
        m_out.Le(kStdIndexId + ((stream / 10) << 16) + ((stream % 10) << 24), 4);
        m_out.Le(CopyPlan::StandardIndexBytes(part.entries[stream]) - 8, 4);
        m_out.Le(2, 2);  // wLongsPerEntry
        m_out.Le(0, 1);  // bIndexSubType
        m_out.Le(1, 1);  // bIndexType: AVI_INDEX_OF_CHUNKS
        m_out.Le(part.entries[stream], 4);
        m_out.Le(m_plan.chunkIds[stream], 4);
        m_out.Le(part.moviPosition, 8);
        m_out.Le(0, 4);
        std::uint64_t position = part.moviPosition + 12;
        for (std::size_t i = part.first; i < part.end && m_out.Ok(); ++i) {
            const KeptChunk& chunk = m_chunks[i];
            if (chunk.Indexed() && chunk.Stream() == static_cast<int>(stream)) {
                m_out.Le(position + 8 - part.moviPosition, 4);
                m_out.Le(chunk.WrittenSize() | (chunk.Key() ? 0u : 0x80000000u), 4);
            }
            position += chunk.Bytes();
        }
    }

    void SetSuperIndexes() {
        if (!m_plan.openDml) return;
        for (std::size_t s = 0; s < m_plan.header.StreamLists() && s < kMaxStreamLists; ++s) {
            std::vector<SuperIndexEntry> entries;
            for (const CopyPart& part : m_plan.parts) {
                if (part.entries[s] == 0) continue;
                std::uint64_t position = part.moviPosition + 12 + part.dataBytes;
                for (std::size_t t = 0; t < s; ++t) {
                    position += CopyPlan::StandardIndexBytes(part.entries[t]);
                }
                const std::uint32_t sampleSize = m_plan.header.SampleSize(s);
                const std::uint64_t units =
                    sampleSize != 0 ? part.units[s] / sampleSize : part.units[s];
                entries.push_back(
                    {position,
                     static_cast<std::uint32_t>(CopyPlan::StandardIndexBytes(part.entries[s])),
                     static_cast<std::uint32_t>(units)});
            }
            m_plan.header.SetSuperIndex(s, m_plan.chunkIds[s], entries);
        }
    }

    Output& m_out;
    CopyPlan& m_plan;
    const std::vector<KeptChunk>& m_chunks;
};

}  // namespace

RepairOutcome WriteCopy(RawFile& input, RepairSink& sink, CopyPlan& plan,
                        const std::vector<KeptChunk>& chunks, const RepairOptions& options) {
    Output out(input, sink, options, plan.outputSize);
    CopyWriter(out, plan, chunks).Write();
    if (out.Stopped()) return {RepairStatus::kStopped, "stopped"};
    if (!out.Ok()) return {RepairStatus::kFailed, out.Error()};
    if (out.Written() != plan.outputSize) {
        return {RepairStatus::kFailed, "wrote " + std::to_string(out.Written()) +
                                           " bytes, planned " + std::to_string(plan.outputSize)};
    }
    return {};
}

}  // namespace plovik
