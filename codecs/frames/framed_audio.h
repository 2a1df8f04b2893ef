// Audio carried as a byte stream of self-delimiting frames (MPEG audio, AC-3, ADTS): each
// frame opens with a sync header that gives its length, so the next header sits where the
// length says. The syntax of one codec reads its header and checks a whole frame; the checker
// here follows the frames through the chunks of a stream, whichever way the muxer cut them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checkers.h"

namespace plovik::frames {

struct FrameHead {
    enum class Kind : std::uint8_t {
        kInvalid,  // no header of the codec here
        kFrame,    // a header, its frame's length known
        kUnsized,  // a header whose length this checker cannot tell (free-format MPEG audio)
    };
    Kind kind = Kind::kInvalid;
    std::uint32_t length = 0;  // the whole frame, header included
    std::uint32_t fixed = 0;   // the fields that stay the same through a stream
    const char* name = "";     // "MP3", "AC-3": for the reasons a user reads
};

class FrameSyntax {
  public:
    virtual ~FrameSyntax() = default;
    // The bytes Read needs; a frame is never shorter.
    virtual std::size_t HeaderSize() const = 0;
    // The header at header[0, HeaderSize()).
    virtual FrameHead Read(const std::uint8_t* header) const = 0;
    // A whole frame's own check (its CRCs): what fails, as "CRC mismatch", or null.
    virtual const char* Fault(Bytes frame) const = 0;
    // The first byte of every sync header, for memchr.
    virtual std::uint8_t SyncByte() const = 0;
    // The longest frame Read can give.
    virtual std::size_t MaxFrame() const = 0;
    // What the stream is called before a frame has named it ("MP3"), and what its fixed
    // fields are ("layer, rate or channels").
    virtual const char* StreamName() const = 0;
    virtual const char* FixedFields() const = 0;
    // The bytes of a tag the stream may open with before its first frame (an ID3 tag: what its
    // header says, which may run past data); 0 when none.
    virtual std::size_t OpeningTag(Bytes) const { return 0; }
};

// The first frame at or after from whose header reads, with the fixed fields given (when not
// null), and whose successor follows where its length says (chained) or lies past the data's
// end (not chained). Headers of unsized frames are taken as found.
struct FoundFrame {
    std::size_t at = 0;
    FrameHead head;
    bool chained = false;
};
std::optional<FoundFrame> FindFrame(const FrameSyntax& syntax, Bytes data, std::size_t from,
                                    const std::uint32_t* fixed = nullptr);

// The frames from at follow one another to exactly the data's end.
bool FramesFillToEnd(const FrameSyntax& syntax, Bytes data, std::size_t at);

// A probe's first frame: at the data's start when the chunk holds only it, else chained to the
// next header. None when no frame of the codec opens the data.
std::optional<FoundFrame> ProbeFirstFrame(const FrameSyntax& syntax, Bytes data);

// The checker of a framed stream. Where the stream header says one chunk is one unit
// (dwSampleSize 0) and the first chunk holds whole frames, every chunk must; elsewhere the
// chunks are cut anywhere and a frame runs on into the next chunk.
std::unique_ptr<FrameChecker> MakeFramedAudioChecker(std::unique_ptr<FrameSyntax> syntax,
                                                     const AudioStreamFormat& format,
                                                     CheckDepth depth);

}  // namespace plovik::frames
