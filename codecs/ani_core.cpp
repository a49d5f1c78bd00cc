// Animated cursors in memory: the walk of the chunks, the pictures of the
// frames, and the bytes the writer puts down.
#include "codecs/ani_core.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "codecs/ico_core.h"

namespace vc {

namespace {

// Moves beyond this offset are refused, as the file calls that once read
// these files could reach no further.
constexpr uint64_t kFarthest = 0x7FFFFFFF;

// Body bytes with the pad byte, in 64 bits so a size near 4 GiB cannot wrap.
constexpr uint64_t paddedBody(uint32_t size) { return riff::paddedSize(size) - riff::kHeaderSize; }

// A position in the bytes that may run past their end (a skip past the end
// succeeds and the next read comes back short).
class Walk {
public:
    explicit Walk(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t position() const { return pos_; }
    uint64_t left() const { return pos_ < bytes_.size() ? bytes_.size() - pos_ : 0; }
    // n bytes, or a failed reader over those there.
    ByteReader take(uint64_t n) {
        const uint64_t have = std::min(n, left());
        ByteReader r(bytes_.data() + std::min<uint64_t>(pos_, bytes_.size()), size_t(have));
        pos_ += have;
        if (have < n) r.fail();
        return r;
    }
    bool skip(uint64_t n) {
        if (pos_ + n > kFarthest) return false;
        pos_ += n;
        return true;
    }
    bool seek(uint64_t offset) {
        if (offset > kFarthest) return false;
        pos_ = offset;
        return true;
    }
    bool header(uint32_t &id, uint32_t &size) {
        ByteReader r = take(riff::kHeaderSize);
        id = r.u32();
        size = r.u32();
        return r.ok();
    }

private:
    std::span<const uint8_t> bytes_;
    uint64_t pos_ = 0;
};

// Lays a body over little-endian words as far as it goes (at most the
// words' bytes), then skips the rest of the body and its pad byte.
bool overlay(Walk &in, uint32_t size, uint32_t *words, size_t count) {
    const uint64_t n = std::min<uint64_t>(size, 4 * count);
    ByteReader r = in.take(n);
    if (!r.ok()) return false;
    for (uint64_t i = 0; i < n; ++i) {
        const uint32_t shift = 8 * uint32_t(i % 4);
        words[i / 4] = (words[i / 4] & ~(0xFFu << shift)) | uint32_t(r.u8()) << shift;
    }
    return in.skip(paddedBody(size) - n);
}

bool overlayHeader(Walk &in, uint32_t size, AniHeader &h) {
    uint32_t w[9] = {h.headerSize, h.frameCount, h.stepCount, h.width, h.height, h.bitCount, h.planes, h.defaultRate, h.flags};
    if (!overlay(in, size, w, 9)) return false;
    h = {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8]};
    return true;
}

// The body of a LIST after its type: its padded size less the 4 type bytes.
uint64_t listContent(uint32_t size) {
    const uint64_t l = paddedBody(size);
    return l >= 4 ? l - 4 : 0;
}

bool readListType(Walk &in, uint32_t &type) {
    ByteReader r = in.take(4);
    type = r.u32();
    return r.ok();
}

// The subchunks of an INFO list that claims `declared` bytes after its type
// and holds those of `content`: title and author.
void readInfo(ByteReader content, uint64_t declared, AniParts &parts) {
    riff::Walker walk(content);
    for (;;) {
        const uint64_t at = walk.position();
        riff::Chunk c;
        if (!walk.next(c)) return;
        if (c.id != kIdInam && c.id != kIdIart) continue;
        if (c.size > declared - at - riff::kHeaderSize) return;
        char *text = c.id == kIdInam ? parts.title : parts.author;
        // A later text replaces an earlier one whole, and the last byte of
        // the field always stays the terminating NUL.
        std::memset(text, 0, kAniTextSize);
        ByteReader body = c.body;
        body.bytes(text, std::min<size_t>(body.size(), kAniTextSize - 1));
    }
}

void fillDefaultSteps(AniParts &parts) {
    for (uint32_t i = 0; i < parts.steps(); ++i) {
        parts.rates[i] = parts.header.defaultRate;
        parts.sequence[i] = i % parts.header.frameCount;
    }
}

// The icon chunks of a fram list of n bytes.
Result readFrames(Walk &in, uint64_t n, std::span<const uint8_t> bytes, AniFrameSink &sink) {
    Result kept = Result::ok;
    uint32_t number = 0;
    while (n >= riff::kHeaderSize) {
        uint32_t id = 0, size = 0;
        if (!in.header(id, size)) return Result::readFailed;
        n -= riff::kHeaderSize;
        if (id == kIdIcon) {
            if (size > n || size > in.left()) return Result::readFailed;
            bool stop = false;
            const Result r = sink.frame(bytes.subspan(size_t(in.position()), size), number++, stop);
            if (stop) return r;
            if (r != Result::ok) kept = r;
        }
        if (!in.skip(paddedBody(size))) return Result::readFailed;
        const uint64_t used = paddedBody(size);
        n = used < n ? n - used : 0;
    }
    return kept;
}

Result readList(Walk &in, uint32_t size, AniParts &parts, std::span<const uint8_t> bytes, AniFrameSink &sink) {
    const uint64_t start = in.position();
    uint32_t type = 0;
    if (!readListType(in, type)) return Result::readFailed;
    const uint64_t content = listContent(size);
    if (type == kIdFram) return readFrames(in, content, bytes, sink);
    if (type != kIdInfo) return in.skip(content) ? Result::ok : Result::readFailed;
    const uint64_t there = std::min(content, in.left());
    readInfo(in.take(there), content, parts);
    return in.seek(start + paddedBody(size)) ? Result::ok : Result::readFailed;
}

bool formHeader(Walk &in) {
    ByteReader r = in.take(12);
    const uint32_t id = r.u32();
    r.skip(4);
    const uint32_t form = r.u32();
    return r.ok() && id == kIdRiff && form == kIdAcon;
}

void putWords(ByteWriter &w, uint32_t id, const uint32_t *words, uint32_t count) {
    riff::writeHeader(w, id, 4 * count);
    for (uint32_t i = 0; i < count; ++i) w.u32(words[i]);
}

}  // namespace

bool looksLikeAnimatedCursor(std::span<const uint8_t> bytes) {
    Walk in(bytes);
    return formHeader(in);
}

Result walkAnimatedCursor(std::span<const uint8_t> bytes, AniParts &out, AniFrameSink &frames) {
    Walk in(bytes);
    if (!formHeader(in)) return Result::notFormat;
    try {
        uint32_t id = 0, size = 0;
        while (in.header(id, size)) {
            switch (id) {
            case kIdRate:
                if (!overlay(in, size, out.rates, kAniMaxSteps)) return Result::readFailed;
                break;
            case kIdSeq:
                if (!overlay(in, size, out.sequence, kAniMaxSteps)) return Result::readFailed;
                break;
            case kIdAnih:
                if (!overlayHeader(in, size, out.header)) return Result::readFailed;
                if (out.header.frameCount == 0) return Result::unsupported;
                fillDefaultSteps(out);
                break;
            case kIdList:
                if (const Result r = readList(in, size, out, bytes, frames); r != Result::ok) return r;
                break;
            default:
                if (!in.skip(paddedBody(size))) return Result::readFailed;
                break;
            }
        }
        return Result::ok;
    } catch (const std::bad_alloc &) {
        return Result::noMemory;
    }
}

bool firstAnimatedCursorFrame(std::span<const uint8_t> bytes, std::span<const uint8_t> &iconFile) {
    Walk in(bytes);
    if (!formHeader(in)) return false;
    uint32_t id = 0, size = 0, type = 0;
    uint64_t n = 0;
    // To the fram list of the top level, skipping everything else.
    for (;;) {
        if (!in.header(id, size)) return false;
        if (id != kIdList) {
            if (!in.skip(paddedBody(size))) return false;
            continue;
        }
        if (!readListType(in, type)) return false;
        n = listContent(size);
        if (type == kIdFram) break;
        if (!in.skip(n)) return false;
    }
    // To its first icon chunk.
    for (;;) {
        if (n < riff::kHeaderSize || !in.header(id, size)) return false;
        n -= riff::kHeaderSize;
        if (id == kIdIcon) break;
        if (!in.skip(paddedBody(size))) return false;
        const uint64_t used = paddedBody(size);
        n = used < n ? n - used : 0;
    }
    if (size > n || size > in.left()) return false;
    iconFile = bytes.subspan(size_t(in.position()), size);
    return true;
}

namespace {

// Each frame's picture: the image its icon file opens at.
class FramePictures final : public AniFrameSink {
public:
    FramePictures(std::span<const uint8_t> bytes, const CoreRequest &request, Animation &out, bool everySize)
        : bytes_(bytes), request_(request), out_(out), everySize_(everySize) {}
    Result frame(std::span<const uint8_t> file, uint32_t, bool &stop) override {
        stop = true;
        if (out_.frames.size() >= request_.limits.largestFrameCount) return Result::noMemory;
        // How far into the bytes the frame starts.
        const uint64_t at = uint64_t(file.data() - bytes_.data());
        if (!request_.progress(int32_t(at * 100 / bytes_.size()))) return Result::cancelled;
        if (everySize_) return everyEntry(file, handed_++, stop);
        IconChoice choice;
        Frame f;
        Result r = chooseIconImage(file, request_, choice);
        if (r == Result::ok) r = decodeIconEntry(file, choice.index, request_, f.picture);
        if (r == Result::noMemory) return r;
        stop = false;
        if (r != Result::ok) return Result::damaged;
        held_ += f.picture.pixels.size() + f.picture.mask.size();
        if (held_ > request_.limits.largestBlock) {
            stop = true;
            return Result::noMemory;
        }
        out_.frames.push_back(std::move(f));
        return Result::ok;
    }

private:
    // Every entry of the frame's icon file, each a frame of the group
    // numbered as the frame is in file order; entries that cannot be decoded stay out.
    Result everyEntry(std::span<const uint8_t> file, uint32_t number, bool &stop) {
        CoreRequest quiet = request_;
        quiet.progress = {};
        quiet.limits.largestBlock = held_ < request_.limits.largestBlock ? request_.limits.largestBlock - held_ : 0;
        IconFile icons;
        const Result r = decodeIconFile(file, quiet, icons);
        if (r == Result::noMemory) return r;
        stop = false;
        if (r != Result::ok) return Result::damaged;
        for (Picture &p : icons.images) {
            if (!p.consistent()) continue;
            if (out_.frames.size() >= request_.limits.largestFrameCount) {
                stop = true;
                return Result::noMemory;
            }
            held_ += p.pixels.size() + p.mask.size();
            Frame f;
            f.picture = std::move(p);
            f.group = number;
            out_.frames.push_back(std::move(f));
        }
        return Result::ok;
    }

    std::span<const uint8_t> bytes_;
    const CoreRequest &request_;
    Animation &out_;
    bool everySize_ = false;
    uint32_t handed_ = 0;  // frames handed over so far, in file order
    uint64_t held_ = 0;
};

}  // namespace

Result decodeAnimatedCursor(std::span<const uint8_t> bytes, const CoreRequest &request, Animation &out,
                            bool everySize) {
    out = Animation{};
    try {
        AniParts parts;
        Animation a;
        FramePictures frames(bytes, request, a, everySize);
        if (const Result r = walkAnimatedCursor(bytes, parts, frames); r != Result::ok) return r;
        a.title.assign(parts.title, strnlen(parts.title, kAniTextSize - 1));
        a.author.assign(parts.author, strnlen(parts.author, kAniTextSize - 1));
        a.defaultRate = parts.header.defaultRate;
        a.rates.assign(parts.rates, parts.rates + parts.steps());
        a.sequence.assign(parts.sequence, parts.sequence + parts.steps());
        if (!a.frames.empty()) {
            a.screenWidth = a.frames[0].picture.width;
            a.screenHeight = a.frames[0].picture.height;
        }
        if (!request.progress(100)) return Result::cancelled;
        out = std::move(a);
        return Result::ok;
    } catch (const std::bad_alloc &) {
        out = Animation{};
        return Result::noMemory;
    }
}

std::vector<uint8_t> animatedCursorHead(const AniParts &parts) {
    const uint32_t steps = parts.steps();
    const size_t title = strnlen(parts.title, kAniTextSize - 1), author = strnlen(parts.author, kAniTextSize - 1);
    // The INFO list body: 4 for the type, then each text with its NUL as a
    // subchunk padded to even.
    uint32_t info = 4;
    if (title) info += uint32_t(riff::paddedSize(uint32_t(title + 1)));
    if (author) info += uint32_t(riff::paddedSize(uint32_t(author + 1)));
    std::vector<uint8_t> out(12 + 8 + kAniHeaderSize + 2 * (8 + 4 * size_t(steps)) + (title || author ? 8 + info : 0));
    ByteWriter w(out.data(), out.size());
    riff::writeHeader(w, kIdRiff, 0);
    w.u32(kIdAcon);
    const AniHeader &h = parts.header;
    const uint32_t header[] = {h.headerSize, h.frameCount, h.stepCount, h.width, h.height,
                               h.bitCount,   h.planes,     h.defaultRate, h.flags};
    putWords(w, kIdAnih, header, kAniHeaderSize / 4);
    putWords(w, kIdRate, parts.rates, steps);
    putWords(w, kIdSeq, parts.sequence, steps);
    if (!title && !author) return out;
    riff::writeHeader(w, kIdList, info);
    w.u32(kIdInfo);
    const auto text = [&](uint32_t id, const char *s, size_t n) {
        if (!n) return;
        riff::writeHeader(w, id, uint32_t(n + 1));
        w.bytes(s, n);
        w.u8(0);  // the NUL
        if ((n + 1) & 1) w.u8(0);
    };
    text(kIdInam, parts.title, title);
    text(kIdIart, parts.author, author);
    return out;
}

std::vector<uint8_t> animatedCursorFramList(uint64_t dataSize, uint32_t frameCount) {
    std::vector<uint8_t> out(12);
    ByteWriter w(out.data(), out.size());
    riff::writeHeader(w, kIdList, uint32_t((dataSize + riff::kHeaderSize + kIconSingleDataOffset) * frameCount + 4));
    w.u32(kIdFram);
    return out;
}

std::vector<uint8_t> animatedCursorFrame(std::span<const uint8_t> iconData, uint16_t hotspotX, uint16_t hotspotY) {
    std::vector<uint8_t> out(riff::kHeaderSize);
    ByteWriter w(out.data(), out.size());
    riff::writeHeader(w, kIdIcon, uint32_t(iconData.size() + kIconSingleDataOffset));
    const std::vector<uint8_t> file = oneImageIconFile(iconData, true, hotspotX, hotspotY);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

namespace {

// The file around `frames` icon chunks that `chunk` makes (chunk header and
// body), the steps and texts of the cursor, anih stating the first picture.
template <class MakeChunk>
Result encodeFrames(const Animation &cursor, size_t frames, const CoreRequest &request, MakeChunk chunk,
                    std::vector<uint8_t> &out) {
    out.clear();
    const size_t steps = cursor.sequence.empty() ? frames : cursor.sequence.size();
    if (frames == 0 || cursor.frames.empty() || frames > request.limits.largestFrameCount || steps > kAniMaxSteps ||
        (!cursor.rates.empty() && cursor.rates.size() != steps))
        return Result::unsupported;
    for (uint32_t s : cursor.sequence)
        if (s >= frames) return Result::unsupported;
    try {
        AniParts parts;
        const Picture &first = cursor.frames[0].picture;
        parts.header = {kAniHeaderSize, uint32_t(frames), uint32_t(steps), uint32_t(first.width), uint32_t(first.height),
                        first.bitCount, 1, cursor.defaultRate, kAniFlagIcon | kAniFlagSequence};
        for (size_t i = 0; i < steps; ++i) {
            parts.rates[i] = cursor.rates.empty() ? cursor.defaultRate : cursor.rates[i];
            parts.sequence[i] = cursor.sequence.empty() ? uint32_t(i) : cursor.sequence[i];
        }
        const auto text = [](char *to, const std::string &s) { std::memcpy(to, s.data(), std::min(s.size(), kAniTextSize - 1)); };
        text(parts.title, cursor.title);
        text(parts.author, cursor.author);
        std::vector<std::vector<uint8_t>> chunks(frames);
        uint64_t total = 0;
        for (size_t i = 0; i < frames; ++i) {
            if (!request.progress(int32_t(i * 100 / frames))) return Result::cancelled;
            if (const Result r = chunk(i, chunks[i]); r != Result::ok) return r;
            total += chunks[i].size();
            if (total > request.limits.largestBlock) return Result::noMemory;
        }
        out = animatedCursorHead(parts);
        const size_t listAt = out.size();
        const std::vector<uint8_t> list = animatedCursorFramList(0, 0);
        out.insert(out.end(), list.begin(), list.end());
        storeLe32(out.data() + listAt + 4, uint32_t(total + 4));
        for (const auto &c : chunks) out.insert(out.end(), c.begin(), c.end());
        storeLe32(out.data() + 4, uint32_t(out.size() - 8));
        if (!request.progress(100)) {
            out.clear();
            return Result::cancelled;
        }
        return Result::ok;
    } catch (const std::bad_alloc &) {
        out.clear();
        return Result::noMemory;
    }
}

}  // namespace

Result encodeAnimatedCursor(const Animation &cursor, const CoreRequest &request, std::vector<uint8_t> &out) {
    return encodeFrames(cursor, cursor.frames.size(), request, [&](size_t i, std::vector<uint8_t> &chunk) {
        // Each frame through the icon core's writer, as a cursor.
        const Picture &p = cursor.frames[i].picture;
        IconFile one;
        one.cursor = true;
        one.images.push_back(p);
        std::vector<uint8_t> file;
        if (const Result r = encodeIconFile(one, request, file); r != Result::ok) return r;
        const size_t data = size_t(loadLe32(file.data() + 14));  // the entry's data size
        chunk = animatedCursorFrame({file.data() + kIconSingleDataOffset, data}, uint16_t(p.hotspotX),
                                    uint16_t(p.hotspotY));
        return Result::ok;
    }, out);
}

Result encodeAnimatedCursorSets(const Animation &cursor, std::span<const uint32_t> frameOf, const CoreRequest &request,
                                std::vector<uint8_t> &out) {
    out.clear();
    if (frameOf.size() != cursor.frames.size()) return Result::unsupported;
    uint32_t frames = 0;
    for (uint32_t f : frameOf) frames = std::max(frames, f + 1);
    CoreRequest quiet = request;
    quiet.progress = {};
    return encodeFrames(cursor, frames, request, [&](size_t i, std::vector<uint8_t> &chunk) {
        IconFile set;
        set.cursor = true;
        for (size_t k = 0; k < frameOf.size(); ++k)
            if (frameOf[k] == i) set.images.push_back(cursor.frames[k].picture);
        std::vector<uint8_t> file;
        if (const Result r = encodeIconSet(set, quiet, file); r != Result::ok) return r;
        chunk.assign(riff::kHeaderSize, 0);
        ByteWriter w(chunk.data(), chunk.size());
        riff::writeHeader(w, kIdIcon, uint32_t(file.size()));
        chunk.insert(chunk.end(), file.begin(), file.end());
        return Result::ok;
    }, out);
}

}  // namespace vc
