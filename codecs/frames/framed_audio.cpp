// Following self-delimiting audio frames through a stream's chunks.
#include "framed_audio.h"

#include <algorithm>
#include <cstring>

namespace plovik::frames {

namespace {

using Kind = FrameHead::Kind;

bool Fits(const FrameHead& head, std::uint32_t fixed) {
    return head.kind != Kind::kInvalid && head.fixed == fixed;
}

// The syntax's header, held to the lengths a frame can have (so that every step advances).
FrameHead ReadHead(const FrameSyntax& syntax, const std::uint8_t* header) {
    FrameHead head = syntax.Read(header);
    if (head.kind == Kind::kFrame &&
        (head.length < syntax.HeaderSize() || head.length > syntax.MaxFrame())) {
        return {};
    }
    return head;
}

FrameHead ReadAt(const FrameSyntax& syntax, Bytes data, std::size_t at) {
    if (data.size() - at < syntax.HeaderSize()) return {};
    return ReadHead(syntax, data.data() + at);
}

// Bytes a writer leaves after a stream's last frame: zeros, or a tag of the MP3 tools.
bool IsTrailer(Bytes rest) {
    if (std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0; })) return true;
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    for (const std::string_view tag : {"TAG", "ID3", "APETAGEX", "LYRICS"}) {
        if (text.substr(0, tag.size()) == tag) return true;
    }
    return false;
}

std::string At(std::size_t pos) { return " at +" + std::to_string(pos); }

}  // namespace

std::optional<FoundFrame> FindFrame(const FrameSyntax& syntax, Bytes data, std::size_t from,
                                    const std::uint32_t* fixed) {
    const std::size_t need = syntax.HeaderSize();
    for (std::size_t at = from; at < data.size() && data.size() - at >= need; ++at) {
        const void* sync = std::memchr(data.data() + at, syntax.SyncByte(), data.size() - at);
        if (!sync) break;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(sync) - data.data());
        if (data.size() - at < need) break;
        const FrameHead head = ReadHead(syntax, data.data() + at);
        if (head.kind == Kind::kInvalid || (fixed && head.fixed != *fixed)) continue;
        if (head.kind == Kind::kUnsized) return FoundFrame{at, head, false};
        const std::size_t next = at + head.length;
        if (next > data.size() - need) return FoundFrame{at, head, false};
        if (Fits(ReadHead(syntax, data.data() + next), head.fixed))
            return FoundFrame{at, head, true};
    }
    return std::nullopt;
}

bool FramesFillToEnd(const FrameSyntax& syntax, Bytes data, std::size_t at) {
    while (at < data.size()) {
        const FrameHead head = ReadAt(syntax, data, at);
        if (head.kind != Kind::kFrame || head.length > data.size() - at) return false;
        at += head.length;
    }
    return true;
}

std::optional<FoundFrame> ProbeFirstFrame(const FrameSyntax& syntax, Bytes data) {
    auto found = FindFrame(syntax, data, 0);
    if (found && (found->chained || found->at == 0)) return found;
    return std::nullopt;
}

namespace {

class FramedAudioChecker final : public FrameChecker {
  public:
    FramedAudioChecker(std::unique_ptr<FrameSyntax> syntax, bool oneUnitPerChunk, CheckDepth depth)
        : syntax_(std::move(syntax)),
          depth_(depth),
          layout_(oneUnitPerChunk ? Layout::kUndecided : Layout::kCutAnywhere),
          name_(syntax_->StreamName()),
          carry_(syntax_->MaxFrame()) {}

    CheckDepth Depth() const override { return depth_; }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        std::size_t pos = 0;
        if (!started_) {
            started_ = true;
            skip_ = syntax_->OpeningTag(data);
        }
        if (skip_ > 0) {
            pos = std::min(skip_, data.size());
            skip_ -= pos;
            if (pos == data.size()) return FrameVerdict::Whole();
        }
        if (layout_ == Layout::kUndecided) {
            layout_ =
                FramesFillToEnd(*syntax_, data, pos) ? Layout::kWholeFrames : Layout::kCutAnywhere;
        }
        return layout_ == Layout::kWholeFrames ? CheckWholeFrames(data, pos)
                                               : CheckCutAnywhere(data, pos);
    }

    void Restart() override {
        sync_ = Sync::kLost;
        carried_ = 0;
        skip_ = 0;
    }

    // A frame cut off at the stream's end is what some writers leave there: not told apart
    // from a file cut short, which the scan sees anyway.
    FrameVerdict End() override {
        return carried_ > 0 ? FrameVerdict::CannotTell() : FrameVerdict::Whole();
    }

  private:
    enum class Layout : std::uint8_t { kUndecided, kWholeFrames, kCutAnywhere };
    enum class Sync : std::uint8_t {
        kLost,       // the next header is searched for
        kTentative,  // a header was found; the one after it is not yet seen
        kLocked,     // headers follow where the lengths say
    };

    // Every chunk holds whole frames, the first at its start.
    FrameVerdict CheckWholeFrames(Bytes data, std::size_t pos) {
        while (pos < data.size()) {
            const FrameHead head = ReadAt(*syntax_, data, pos);
            if (!fixed_ && head.kind != Kind::kInvalid) Name(head);
            if (!fixed_ || !Fits(head, *fixed_)) return Broken(data, pos, head);
            if (head.kind == Kind::kUnsized) return FrameVerdict::CannotTell();
            if (head.length > data.size() - pos) {
                return Damaged(pos, [&] { return Text(pos) + " runs past the chunk's end"; });
            }
            if (const char* fault = syntax_->Fault(data.subspan(pos, head.length))) {
                return Damaged(pos, [&] { return name_ + " frame " + fault + At(pos); });
            }
            pos += head.length;
        }
        return FrameVerdict::Whole();
    }

    // The chunks are pieces of one byte stream; a chunk that begins inside a frame continues
    // it.
    FrameVerdict CheckCutAnywhere(Bytes data, std::size_t pos) {
        if (carried_ > 0) {
            if (auto verdict = FinishCarried(data, pos)) return *verdict;
        }
        while (pos < data.size()) {
            FrameHead head;
            if (sync_ == Sync::kLost) {
                const auto found = FindFrame(*syntax_, data, pos, fixed_ ? &*fixed_ : nullptr);
                if (!found || found->head.kind == Kind::kUnsized) return FrameVerdict::CannotTell();
                pos = found->at;
                head = found->head;
                chain_ = head.fixed;
                sync_ = found->chained ? Sync::kLocked : Sync::kTentative;
                if (sync_ == Sync::kLocked && !fixed_) Name(head);
            } else {
                if (data.size() - pos < syntax_->HeaderSize()) {
                    Carry(data.subspan(pos), {});
                    return FrameVerdict::Whole();
                }
                head = ReadHead(*syntax_, data.data() + pos);
                if (!Fits(head, chain_)) {
                    if (sync_ == Sync::kTentative) {
                        sync_ = Sync::kLost;  // the header found was none
                        continue;
                    }
                    return Broken(data, pos, head);
                }
                if (head.kind == Kind::kUnsized) {
                    sync_ = Sync::kLost;
                    return FrameVerdict::CannotTell();
                }
                Confirm(head);
            }
            if (head.length > data.size() - pos) {
                Carry(data.subspan(pos), head);
                return FrameVerdict::Whole();
            }
            if (const char* fault = syntax_->Fault(data.subspan(pos, head.length))) {
                if (sync_ == Sync::kTentative) {
                    sync_ = Sync::kLost;
                    ++pos;
                    continue;
                }
                sync_ = Sync::kLost;
                return Damaged(pos, [&] { return name_ + " frame " + fault + At(pos); });
            }
            pos += head.length;
        }
        return FrameVerdict::Whole();
    }

    // Completes the frame an earlier chunk began; a verdict when it breaks or the chunk ends
    // inside it, else pos is where it ends.
    std::optional<FrameVerdict> FinishCarried(Bytes data, std::size_t& pos) {
        const std::size_t need = syntax_->HeaderSize();
        if (carried_ < need) {
            pos = Append(data, pos, need);
            if (carried_ < need) return FrameVerdict::Whole();
            carriedHead_ = ReadHead(*syntax_, carry_.data());
            if (!Fits(carriedHead_, chain_) || carriedHead_.kind == Kind::kUnsized) {
                const bool trailer = IsTrailer(Bytes(carry_.data(), carried_));
                carried_ = 0;
                const bool locked = sync_ == Sync::kLocked;
                sync_ = Sync::kLost;
                pos = 0;
                if (trailer) return FrameVerdict::CannotTell();
                if (!locked || carriedHead_.kind == Kind::kUnsized) return std::nullopt;
                return Damaged(
                    0, [&] { return name_ + " frame header broken across the chunk's start"; });
            }
            Confirm(carriedHead_);
        }
        pos = Append(data, pos, carriedHead_.length);
        if (carried_ < carriedHead_.length) return FrameVerdict::Whole();
        carried_ = 0;
        const char* fault = syntax_->Fault(Bytes(carry_.data(), carriedHead_.length));
        if (!fault) return std::nullopt;
        const bool locked = sync_ == Sync::kLocked;
        sync_ = Sync::kLost;
        if (!locked) {
            pos = 0;
            return std::nullopt;
        }
        return Damaged(0,
                       [&] { return name_ + " frame " + fault + " (begun in an earlier chunk)"; });
    }

    // Copies data from pos until the carried frame holds upto bytes; where the copy ends.
    std::size_t Append(Bytes data, std::size_t pos, std::size_t upto) {
        const std::size_t n = std::min(upto - carried_, data.size() - pos);
        std::memcpy(carry_.data() + carried_, data.data() + pos, n);
        carried_ += n;
        return pos + n;
    }

    void Carry(Bytes start, const FrameHead& head) {
        std::memcpy(carry_.data(), start.data(), start.size());
        carried_ = start.size();
        carriedHead_ = head;
    }

    // A header read where the one before said it would be.
    void Confirm(const FrameHead& head) {
        if (sync_ != Sync::kTentative) return;
        sync_ = Sync::kLocked;
        if (!fixed_) Name(head);
    }

    // The stream's fixed fields and name, from its first frame.
    void Name(const FrameHead& head) {
        fixed_ = chain_ = head.fixed;
        if (*head.name) name_ = head.name;
    }

    // No header where one was due (or one that changes the stream): damage, unless the rest
    // is what writers leave after the last frame.
    FrameVerdict Broken(Bytes data, std::size_t pos, const FrameHead& head) {
        sync_ = Sync::kLost;
        if (IsTrailer(data.subspan(pos))) return FrameVerdict::CannotTell();
        if (head.kind == Kind::kInvalid) {
            return Damaged(pos, [&] { return name_ + " frame header expected" + At(pos); });
        }
        return Damaged(
            pos, [&] { return Text(pos) + " changes the stream's " + syntax_->FixedFields(); });
    }

    std::string Text(std::size_t pos) const { return name_ + " frame" + At(pos); }

    std::unique_ptr<FrameSyntax> syntax_;
    CheckDepth depth_;
    Layout layout_;
    Sync sync_ = Sync::kLost;
    std::optional<std::uint32_t> fixed_;  // the stream's, from its first frame
    std::uint32_t chain_ = 0;             // the fixed fields of the frames being followed
    std::string name_;
    bool started_ = false;
    std::size_t skip_ = 0;  // bytes of the opening tag still to pass
    std::vector<std::uint8_t> carry_;
    std::size_t carried_ = 0;
    FrameHead carriedHead_;
};

}  // namespace

std::unique_ptr<FrameChecker> MakeFramedAudioChecker(std::unique_ptr<FrameSyntax> syntax,
                                                     const AudioStreamFormat& format,
                                                     CheckDepth depth) {
    return std::make_unique<FramedAudioChecker>(std::move(syntax), format.sampleSize == 0, depth);
}

}  // namespace plovik::frames
