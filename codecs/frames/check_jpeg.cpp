// JPEG (MJPEG) frames: markers, segments and entropy-coded data. The segments chain by their
// lengths, and the entropy-coded data between them may hold no marker but stuffed FF 00 and
// the restart markers in their cycle, so every byte of an image is accounted for.
#include <array>
#include <cstring>
#include <string>

#include "checkers.h"
#include "frame_bytes.h"

namespace plovik::frames {
namespace {

constexpr std::uint8_t kSof0 = 0xC0;  // baseline (0xC1, extended sequential, lies between)
constexpr std::uint8_t kSof2 = 0xC2;  // progressive
constexpr std::uint8_t kSof3 = 0xC3;  // lossless
constexpr std::uint8_t kDht = 0xC4;
constexpr std::uint8_t kDac = 0xCC;
constexpr std::uint8_t kRst0 = 0xD0;
constexpr std::uint8_t kRst7 = 0xD7;
constexpr std::uint8_t kSoi = 0xD8;
constexpr std::uint8_t kEoi = 0xD9;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kDqt = 0xDB;
constexpr std::uint8_t kDnl = 0xDC;
constexpr std::uint8_t kDri = 0xDD;
constexpr std::uint8_t kApp0 = 0xE0;

constexpr std::size_t kMaxComponents = 4;  // more are legal in sequential mode, never in video

std::string At(std::size_t offset) { return " at +" + std::to_string(offset); }
std::string Hex(std::uint8_t b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[b >> 4], kDigits[b & 15]};
}

struct Component {
    std::uint8_t h = 0;
    std::uint8_t v = 0;
    bool operator==(const Component&) const = default;
};

// What stays the same from frame to frame of a stream.
struct Shape {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint8_t count = 0;
    std::array<Component, kMaxComponents> components{};
    bool operator==(const Shape&) const = default;
};

struct FrameHeader {
    std::uint8_t marker = 0;  // SOFn; 0 before the frame header
    Shape shape;
    std::array<std::uint8_t, kMaxComponents> ids{};  // the scans name components by them
    std::uint8_t hMax = 1;
    std::uint8_t vMax = 1;

    bool Sequential() const { return marker != kSof2; }
    bool Lossless() const { return marker == kSof3; }
};

struct ScanHeader {
    std::uint8_t count = 0;
    std::array<std::uint8_t, kMaxComponents> index{};  // into the frame's components
};

// A segment's verdict: none when it reads well.
struct Problem {
    FrameState state = FrameState::kWhole;
    const char* reason = "";

    static Problem Damage(const char* reason) { return {FrameState::kDamaged, reason}; }
    static Problem Unknown() { return {FrameState::kCannotTell, {}}; }
    explicit operator bool() const { return state != FrameState::kWhole; }
};

bool IsOtherSof(std::uint8_t m) {  // hierarchical and arithmetic-coded frames
    return (m >= 0xC5 && m <= 0xC7) || (m >= 0xC9 && m <= 0xCB) || (m >= 0xCD && m <= 0xCF);
}

bool IsReserved(std::uint8_t m) { return m < 0xC0; }  // TEM and the reserved codes

Problem ReadFrameHeader(std::uint8_t marker, Bytes body, FrameHeader& frame) {
    if (body.size() < 6) return Problem::Damage("JPEG frame header too short");
    const std::uint8_t precision = body[0];
    const std::uint32_t y = Be16(&body[1]);
    const std::uint32_t x = Be16(&body[3]);
    const std::uint8_t count = body[5];
    if (body.size() != 6 + 3u * count || count == 0 || x == 0)
        return Problem::Damage("JPEG frame header invalid");
    const bool precisionOk = marker == kSof3   ? precision >= 2 && precision <= 16
                             : marker == kSof0 ? precision == 8
                                               : precision == 8 || precision == 12;
    if (!precisionOk) return Problem::Damage("JPEG frame header invalid");
    // A height given later (DNL) and many components are legal, but no video writer uses them.
    if (y == 0 || count > kMaxComponents) return Problem::Unknown();
    frame.shape = {x, y, count, {}};
    for (std::uint8_t i = 0; i < count; ++i) {
        const std::uint8_t* c = &body[6 + 3u * i];
        const std::uint8_t h = c[1] >> 4;
        const std::uint8_t v = c[1] & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4 || c[2] > 3)
            return Problem::Damage("JPEG frame header invalid");
        for (std::uint8_t j = 0; j < i; ++j) {
            if (frame.ids[j] == c[0]) return Problem::Damage("JPEG frame header invalid");
        }
        frame.ids[i] = c[0];
        frame.shape.components[i] = {h, v};
        frame.hMax = std::max(frame.hMax, h);
        frame.vMax = std::max(frame.vMax, v);
    }
    frame.marker = marker;
    return {};
}

// Huffman tables: class and number, 16 code counts that fit the code space, their values.
Problem ReadHuffmanTables(Bytes body) {
    std::size_t at = 0;
    while (at < body.size()) {
        if (body.size() - at < 17 || (body[at] >> 4) > 1 || (body[at] & 15) > 3)
            return Problem::Damage("JPEG Huffman table invalid");
        std::size_t values = 0;
        std::int32_t free = 1;  // codes left of the current length
        for (int i = 1; i <= 16; ++i) {
            free = free * 2 - body[at + i];
            if (free < 0) return Problem::Damage("JPEG Huffman table invalid");
            values += body[at + i];
        }
        if (values > body.size() - at - 17) return Problem::Damage("JPEG Huffman table invalid");
        at += 17 + values;
    }
    return {};
}

Problem ReadQuantTables(Bytes body) {
    std::size_t at = 0;
    while (at < body.size()) {
        const std::size_t bytes = 1 + ((body[at] >> 4) == 0 ? 64 : 128);
        if ((body[at] >> 4) > 1 || (body[at] & 15) > 3 || body.size() - at < bytes)
            return Problem::Damage("JPEG quantisation table invalid");
        at += bytes;
    }
    return {};
}

// The scan's components (in the frame's order, each once), their tables and the spectral
// selection and approximation of the frame's process.
Problem ReadScanHeader(Bytes body, const FrameHeader& frame, ScanHeader& scan) {
    const Problem invalid = Problem::Damage("JPEG scan header invalid");
    if (body.empty() || body[0] < 1 || body[0] > kMaxComponents || body.size() != 4 + 2u * body[0])
        return invalid;
    scan.count = body[0];
    int blocks = 0;
    int last = -1;
    for (std::uint8_t i = 0; i < scan.count; ++i) {
        const std::uint8_t id = body[1 + 2 * i];
        const std::uint8_t tables = body[2 + 2 * i];
        int found = -1;
        for (std::uint8_t j = 0; j < frame.shape.count; ++j) {
            if (frame.ids[j] == id) found = j;
        }
        const int maxTable = frame.marker == kSof0 ? 1 : 3;
        if (found <= last || (tables >> 4) > maxTable || (tables & 15) > maxTable) return invalid;
        last = found;
        scan.index[i] = static_cast<std::uint8_t>(found);
        const Component& c = frame.shape.components[found];
        blocks += c.h * c.v;
    }
    if (scan.count > 1 && blocks > 10) return invalid;
    const std::uint8_t* tail = &body[1 + 2 * scan.count];
    const std::uint8_t ss = tail[0], se = tail[1], ah = tail[2] >> 4, al = tail[2] & 15;
    if (frame.marker == kSof2) {
        const bool dc = ss == 0;
        if (se > 63 || ss > se || dc != (se == 0) || (!dc && scan.count != 1) || ah > 13 || al > 13)
            return invalid;
    } else if (frame.Lossless() && (ss < 1 || ss > 7)) {
        return invalid;
    }
    return {};
}

std::uint64_t Ceil(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

// The MCUs of a scan: one component's blocks (or samples, lossless) alone, else the
// interleaved MCUs of the frame's largest sampling.
std::uint64_t McuCount(const FrameHeader& frame, const ScanHeader& scan) {
    const std::uint64_t unit = frame.Lossless() ? 1 : 8;
    const Shape& s = frame.shape;
    if (scan.count == 1) {
        const Component& c = s.components[scan.index[0]];
        return Ceil(Ceil(std::uint64_t{s.x} * c.h, frame.hMax), unit) *
               Ceil(Ceil(std::uint64_t{s.y} * c.v, frame.vMax), unit);
    }
    return Ceil(s.x, unit * frame.hMax) * Ceil(s.y, unit * frame.vMax);
}

// One image, SOI to EOI.
struct Image {
    FrameVerdict verdict;
    FrameHeader frame;          // its frame header, where one was read
    std::size_t end = 0;        // after its EOI
    std::uint32_t frameAt = 0;  // where its frame header starts
    bool avi1 = false;          // APP0 "AVI1": an Avid-style stream (EOI on some frames only)
    std::uint8_t polarity = 0;
};

class ImageReader {
  public:
    // eoiOptional: the stream is one whose writer leaves EOI out; an image then ends with the
    // data or at the next SOI.
    ImageReader(Bytes data, bool eoiOptional, const DamageReasons& reasons)
        : d_(data), eoiOptional_(eoiOptional), reasons_(reasons) {}

    Image Read(std::size_t start) {
        if (d_.size() - start < 2 || d_[start] != 0xFF || d_[start + 1] != kSoi) {
            Damage(start, [&] { return "JPEG data without SOI" + At(start); });
        } else {
            for (std::size_t p = start + 2; !done_;) p = Segment(p);
        }
        image_.frame = frame_;
        return image_;
    }

  private:
    std::size_t Stop(FrameVerdict verdict) {
        image_.verdict = std::move(verdict);
        done_ = true;
        return 0;
    }
    template <class Reason>
    std::size_t Damage(std::size_t offset, Reason reason) {
        return Stop(reasons_.Damaged(static_cast<std::uint32_t>(offset), reason));
    }
    std::size_t Finish(std::size_t end) {
        image_.end = end;
        return Stop(FrameVerdict::Whole());
    }
    std::size_t Settle(std::size_t at, const Problem& problem) {
        if (problem.state == FrameState::kCannotTell) return Stop(FrameVerdict::CannotTell());
        return Damage(at, [&] { return std::string(problem.reason) + At(at); });
    }
    bool EoiOptional() const { return eoiOptional_ || image_.avi1; }
    // A progressive frame may end after any scan, a sequential one after its last.
    bool Complete() const { return scanned_ && (finished_ || !frame_.Sequential()); }

    // The marker at p (after any fill bytes) and its segment; where the next one starts.
    std::size_t Segment(std::size_t p) {
        if (p >= d_.size()) return Damage(d_.size(), [&] { return "JPEG data end without EOI"; });
        if (d_[p] != 0xFF) return Damage(p, [&] { return "JPEG marker expected" + At(p); });
        const std::size_t at = p;
        while (p < d_.size() && d_[p] == 0xFF) ++p;
        if (p >= d_.size()) return Damage(d_.size(), [&] { return "JPEG data end without EOI"; });
        const std::uint8_t m = d_[p++];
        if (m == kEoi)
            return Complete()
                       ? Finish(p)
                       : Damage(at, [&] { return "JPEG EOI before the last scan" + At(at); });
        if (m == kSoi && Complete() && EoiOptional()) return Finish(at);
        if (m == kSoi || (m >= kRst0 && m <= kRst7) || IsReserved(m))
            return Damage(at,
                          [&] { return "JPEG marker FF " + Hex(m) + " out of place" + At(at); });
        if (finished_)
            return Damage(
                at, [&] { return "JPEG marker FF " + Hex(m) + " after the last scan" + At(at); });
        const std::size_t length = d_.size() - p < 2 ? 0 : Be16(&d_[p]);
        if (length < 2 || length > d_.size() - p)
            return Damage(at, [&] { return "JPEG segment runs past the data" + At(at); });
        if (Problem problem = Body(m, d_.subspan(p + 2, length - 2))) return Settle(at, problem);
        return m == kSos ? Scan(p + length) : p + length;
    }

    Problem Body(std::uint8_t m, Bytes body) {
        if (m >= kSof0 && m <= kSof3) {
            if (frame_.marker != 0) return Problem::Damage("JPEG second frame header");
            image_.frameAt = static_cast<std::uint32_t>(body.data() - d_.data() - 4);
            return ReadFrameHeader(m, body, frame_);
        }
        if (IsOtherSof(m) || m == kDac || m == kDnl || m == 0xDE || m == 0xDF)
            return Problem::Unknown();  // hierarchical, arithmetic, DNL: forms video never uses
        switch (m) {
            case kDht:
                return ReadHuffmanTables(body);
            case kDqt:
                return ReadQuantTables(body);
            case kDri:
                if (body.size() != 2) return Problem::Damage("JPEG restart interval invalid");
                restartInterval_ = Be16(body.data());
                return {};
            case kSos:
                if (frame_.marker == 0) return Problem::Damage("JPEG scan before the frame header");
                if (Problem problem = ReadScanHeader(body, frame_, scan_)) return problem;
                return CountComponents();
            case kApp0:
                if (body.size() >= 5 && std::memcmp(body.data(), "AVI1", 4) == 0) {
                    image_.avi1 = true;
                    image_.polarity = body[4];
                }
                return {};
            default:  // APPn, COM, JPGn
                return {};
        }
    }

    // Sequential frames code each component in one scan; after the last only EOI follows.
    Problem CountComponents() {
        if (!frame_.Sequential()) return {};
        for (std::uint8_t i = 0; i < scan_.count; ++i) {
            const std::uint32_t bit = 1u << scan_.index[i];
            if ((scannedMask_ & bit) != 0) return Problem::Damage("JPEG component scanned twice");
            scannedMask_ |= bit;
        }
        finished_ = scannedMask_ == (1u << frame_.shape.count) - 1;
        return {};
    }

    // The entropy-coded data from p, up to the marker that ends it; where that marker starts.
    // FF bytes are found with memchr: they are rare in coded data.
    std::size_t Scan(std::size_t p) {
        std::uint32_t restarts = 0;
        std::size_t afterRestart = 0;
        while (true) {
            const void* hit = p < d_.size() ? std::memchr(&d_[p], 0xFF, d_.size() - p) : nullptr;
            if (hit == nullptr) return ScanEnd(d_.size(), restarts, afterRestart, true);
            const auto ff =
                static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - d_.data());
            std::size_t q = ff + 1;
            while (q < d_.size() && d_[q] == 0xFF) ++q;
            if (q >= d_.size()) return ScanEnd(d_.size(), restarts, afterRestart, true);
            const std::uint8_t c = d_[q];
            if (c == 0x00) {  // a stuffed FF
                p = q + 1;
                continue;
            }
            if (c < kRst0 || c > kRst7) return ScanEnd(ff, restarts, afterRestart, false);
            if (restartInterval_ == 0)
                return Damage(ff, [&] { return "JPEG RST without a restart interval" + At(ff); });
            if (c - kRst0 != static_cast<int>(restarts % 8)) {
                return Damage(ff, [&] {
                    return "JPEG RST" + std::to_string(c - kRst0) + " where RST" +
                           std::to_string(restarts % 8) + " was due" + At(ff);
                });
            }
            ++restarts;
            p = afterRestart = q + 1;
        }
    }

    // A scan ends at the marker at `end`, or with the data. Its restart markers split it into
    // intervals of restartInterval_ MCUs; some encoders put one after the last interval too.
    std::size_t ScanEnd(std::size_t end, std::uint32_t restarts, std::size_t afterRestart,
                        bool dataEnd) {
        scanned_ = true;
        if (restartInterval_ != 0) {
            const std::uint64_t due = Ceil(McuCount(frame_, scan_), restartInterval_) - 1;
            const bool trailing = restarts == due + 1 && afterRestart == end;
            if (dataEnd && restarts < due)
                return Damage(end, [&] { return "JPEG data end inside a scan"; });
            if (restarts != due && !trailing) {
                return Damage(end, [&] {
                    return "JPEG scan with " + std::to_string(restarts) + " RST, " +
                           std::to_string(due) + " due" + At(end);
                });
            }
        }
        if (!dataEnd) return end;
        if (EoiOptional() && Complete()) return Finish(end);
        return Damage(end, [&] { return "JPEG data end without EOI"; });
    }

    Bytes d_;
    bool eoiOptional_;
    const DamageReasons& reasons_;
    Image image_;
    FrameHeader frame_;
    ScanHeader scan_;
    std::uint32_t restartInterval_ = 0;
    std::uint32_t scannedMask_ = 0;
    bool done_ = false;
    bool scanned_ = false;   // a scan was read: EOI may follow
    bool finished_ = false;  // a sequential frame's components are all scanned
};

// The images of one chunk: one, or two fields of an interlaced frame, with padding after.
struct ChunkImages {
    FrameVerdict verdict;
    Image first;
    int fields = 0;
};

// The first byte from `from` on that is no padding.
std::size_t SkipPadding(Bytes data, std::size_t from) {
    while (from < data.size() && (data[from] == 0x00 || data[from] == 0xFF)) ++from;
    return from;
}

ChunkImages ReadChunk(Bytes data, bool eoiOptional, const DamageReasons& reasons) {
    ChunkImages chunk;
    chunk.first = ImageReader(data, eoiOptional, reasons).Read(0);
    chunk.verdict = chunk.first.verdict;
    if (chunk.verdict.state != FrameState::kWhole) return chunk;
    chunk.fields = 1;
    const std::size_t q = SkipPadding(data, chunk.first.end);
    if (q == data.size()) return chunk;
    if (data[q] != kSoi || data[q - 1] != 0xFF) {
        chunk.verdict = reasons.Damaged(static_cast<std::uint32_t>(q),
                                        [&] { return "JPEG data after EOI" + At(q); });
        return chunk;
    }
    const Image second = ImageReader(data, eoiOptional, reasons).Read(q - 1);
    chunk.verdict = second.verdict;
    if (chunk.verdict.state != FrameState::kWhole) return chunk;
    const Shape& a = chunk.first.frame.shape;
    const Shape& b = second.frame.shape;
    if (a != b) {
        chunk.verdict = reasons.Damaged(
            second.frameAt, [&] { return "JPEG fields unlike each other" + At(second.frameAt); });
        return chunk;
    }
    const std::size_t r = SkipPadding(data, second.end);
    if (r != data.size()) {
        chunk.verdict = reasons.Damaged(static_cast<std::uint32_t>(r),
                                        [&] { return "JPEG data after the second field" + At(r); });
        return chunk;
    }
    chunk.fields = 2;
    return chunk;
}

std::string SizeText(const Shape& s) { return std::to_string(s.x) + "x" + std::to_string(s.y); }

// What differs from the stream's first whole frame, in a user's words.
std::string Difference(const Shape& frame, const Shape& stream) {
    if (frame.x != stream.x || frame.y != stream.y)
        return "JPEG frame " + SizeText(frame) + " unlike the stream's " + SizeText(stream);
    if (frame.count != stream.count) return "JPEG frame components unlike the stream's";
    return "JPEG frame sampling unlike the stream's";
}

class JpegChecker final : public FrameChecker {
  public:
    explicit JpegChecker(bool eoiOptional) : eoiOptional_(eoiOptional) {}

    CheckDepth Depth() const override { return CheckDepth::kFull; }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        ChunkImages chunk = ReadChunk(data, eoiOptional_, Reasons());
        if (chunk.verdict.state != FrameState::kWhole) return std::move(chunk.verdict);
        const Shape& shape = chunk.first.frame.shape;
        if (!reference_) reference_ = shape;
        if (shape != *reference_)
            return Damaged(chunk.first.frameAt, [&] { return Difference(shape, *reference_); });
        return chunk.verdict;
    }

  private:
    bool eoiOptional_;
    std::optional<Shape> reference_;  // the first whole frame's
};

}  // namespace

// Avid's MJPEG (AVRn) ends only some frames with EOI.
std::unique_ptr<FrameChecker> MakeJpegChecker(const VideoStreamFormat& format) {
    const FOURCC avid = MakeFourCC("AVRN");
    const bool eoiOptional =
        UpperFourCC(format.handler) == avid || UpperFourCC(format.compression) == avid;
    return std::make_unique<JpegChecker>(eoiOptional);
}

std::optional<ProbedVideo> ProbeJpeg(Bytes frame) {
    // The probe wants the frame header, not why a frame breaks.
    const ChunkImages chunk = ReadChunk(frame, true, DamageReasons(false));
    const FrameHeader& header = chunk.first.frame;
    if (header.marker == 0) return std::nullopt;
    const bool fields = chunk.fields == 2 || chunk.first.polarity != 0;
    ProbedVideo probed;
    probed.family = VideoFamily::kJpeg;
    probed.fourcc = MakeFourCC("MJPG");
    probed.width = header.shape.x;
    probed.height = header.shape.y * (fields ? 2 : 1);
    probed.key = true;
    probed.source = "JPEG SOF" + std::to_string(header.marker - kSof0);
    return probed;
}

}  // namespace plovik::frames
