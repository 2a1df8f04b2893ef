#include "riff_reader.h"

#include <algorithm>

#include "record_cursor.h"

namespace plovik {

bool ReadPadded(ByteSource& source, void* buffer, std::uint32_t n) {
    return source.Read(buffer, static_cast<std::size_t>(Padded(n)));
}

void SkipPadded(ByteSource& source, std::uint32_t n) {
    source.SeekBy(static_cast<std::int64_t>(Padded(n)));
}

bool ReadChunkHeader(ByteSource& source, ChunkHeader& header) {
    std::uint8_t bytes[8];
    if (!source.Read(bytes, sizeof bytes)) return false;
    RecordCursor fields(bytes);
    header.id = fields.U32();
    header.size = fields.U32();
    return true;
}

void ReadRecord(ByteSource& source, std::uint8_t* record, std::uint32_t n) {
    if (ReadPadded(source, record, n)) return;
    const std::int64_t start = source.Position();
    const auto position = static_cast<std::uint64_t>(start);
    if (start < 0 || position >= source.Size()) return;
    const auto partial =
        static_cast<std::size_t>(std::min<std::uint64_t>(n, source.Size() - position));
    if (source.Read(record, partial)) source.Seek(start);
}

bool BytesAhead(const ByteSource& source, std::uint64_t n) {
    const std::int64_t start = source.Position();
    const auto position = static_cast<std::uint64_t>(start);
    return start >= 0 && position <= source.Size() && source.Size() - position >= n;
}

void SkipForwardTo(ByteSource& source, std::int64_t position) {
    if (position > source.Position()) source.Seek(position);
}

}  // namespace plovik
