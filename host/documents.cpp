#include "host/documents.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "velmconv/documents.h"

namespace host {

namespace {

bool hasMaskedPixel(const Image &img) {
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x)
            if (img.masked(x, y)) return true;
    return false;
}

// A colour no visible pixel of any frame has: the GIF's transparent colour
// for what the cursor's masks hide. The one colour the masks hide, when
// there is one, comes first: a GIF's own transparent colour comes back.
Rgb unusedColor(const Editor &ed) {
    std::set<Rgb> used, hidden;
    for (const Frame &f : ed.frames)
        for (int32_t y = 0; y < f.image.height; ++y)
            for (int32_t x = 0; x < f.image.width; ++x)
                (f.image.masked(x, y) ? hidden : used).insert(f.image.pixel(x, y));
    if (hidden.size() == 1 && !used.count(*hidden.begin())) return *hidden.begin();
    for (Rgb c : {rgb(255, 0, 255), rgb(0, 255, 0), rgb(0, 255, 255)})
        if (!used.count(c)) return c;
    Rgb c = 1;
    while (used.count(c)) ++c;  // at most one more than the pixels there are
    return c;
}

// Masked pixels painted in the key colour (the frame widened to 24 bits to
// hold it), so that the GIF writer finds them by the editor's colour.
void paintMasked(Image &img, Rgb key) {
    Image out = withDepth(img, 24, false);
    out.mask = img.mask;
    for (int32_t y = 0; y < out.height; ++y)
        for (int32_t x = 0; x < out.width; ++x) {
            if (!out.masked(x, y)) continue;
            uint8_t *p = out.bits.data() + size_t(out.height - 1 - y) * out.rowBytes() + size_t(x) * 3;
            p[0] = uint8_t(key), p[1] = uint8_t(key >> 8), p[2] = uint8_t(key >> 16);
        }
    img = std::move(out);
}

std::string loopText(uint32_t repeat, uint32_t loops) {
    if (!repeat) return "plays once";
    if (!loops) return "loops forever";
    return "loops " + std::to_string(loops) + " times";
}

void *newBlock(const void *record, size_t size) {
    void *block = Library::memAlloc(size);
    if (!block) return nullptr;
    void *p = Library::memLock(block);
    if (!p) {
        Library::memFree(block);
        return nullptr;
    }
    std::memcpy(p, record, size);
    Library::memUnlock(block);
    return block;
}

void replaceDocument(Editor &ed, void *block) {
    Library::memFree(ed.document);
    ed.document = block;
}

// GIF to animated cursor: one step per frame with its delay, the comment's
// first line as the title and the rest as the author. Transparency needs
// nothing: the editor masks its transparent colour in every icon it serves.
std::string gifToCursor(Editor &ed, const VcGifDocument &gif) {
    auto doc = std::make_unique<VcCursorDocument>();
    *doc = {};
    doc->formatCode = CONV_FMT_ANI;
    doc->header.headerSize = uint32_t(sizeof(VcAniHeader));
    const uint32_t n = uint32_t(std::min<size_t>(ed.frames.size(), VC_ANI_MAX_STEPS));
    doc->header.frameCount = doc->header.stepCount = n;
    doc->header.flags = VC_ANI_FLAG_ICON | VC_ANI_FLAG_SEQUENCE;
    const int32_t described = VcGifDocumentFrames(&gif);
    std::string delays;
    for (uint32_t i = 0; i < n; ++i) {
        // Frames the record does not describe repeat its first entry.
        const VcGifFrameEntry &f = gif.frames[int32_t(i) < described ? i : 0];
        doc->rates[i] = uint32_t(jiffiesFromHundredths(f.delay));
        doc->sequence[i] = i;
        if (i < 4) delays += (i ? ", " : "") + std::to_string(f.delay) + "->" + std::to_string(doc->rates[i]);
    }
    doc->header.defaultRate = doc->rates[0];
    if (gif.commentFlag) {
        const std::string comment(gif.comment, strnlen(gif.comment, sizeof gif.comment));
        const size_t end = comment.find_first_of("\r\n");
        const size_t rest = end == std::string::npos ? end : comment.find_first_not_of("\r\n", end);
        const std::string title = comment.substr(0, end);
        const std::string author = rest == std::string::npos ? "" : comment.substr(rest);
        std::strncpy(doc->title, title.c_str(), VC_ANI_TEXT_SIZE - 1);
        std::strncpy(doc->author, author.c_str(), VC_ANI_TEXT_SIZE - 1);
    }
    void *block = newBlock(doc.get(), sizeof *doc);
    if (!block) return {};
    replaceDocument(ed, block);
    std::string line = "delays 1/100 s -> 1/60 s: " + delays + (n > 4 ? ", ..." : "");
    if (ed.transparent) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06X", *ed.transparent & 0xFFFFFF);
        line += "; transparent colour #" + std::string(hex) + " as the cursor's mask";
    }
    line += "; the GIF " + loopText(gif.repeat, gif.loopCount) +
            (gif.repeat && !gif.loopCount ? ", as a cursor does" : ", a cursor loops forever");
    if (doc->title[0] || doc->author[0]) line += "; comment as title and author";
    return line;
}

// Animated cursor to GIF: the editor's frames become the steps in order,
// each shown for its rate; masked pixels get a colour of their own that
// becomes the transparent one; the GIF loops forever, as a cursor does.
std::string cursorToGif(Editor &ed, const VcCursorDocument &ani) {
    const uint32_t steps = std::min<uint32_t>(VcCursorDocumentSteps(&ani), VC_GIF_MAX_FRAMES);
    if (ed.frames.empty()) return {};
    std::vector<Frame> byStep;
    std::vector<uint32_t> rates;
    for (uint32_t s = 0; s < steps; ++s) {
        byStep.push_back(ed.frames[std::min<size_t>(ani.sequence[s], ed.frames.size() - 1)]);
        rates.push_back(ani.rates[s] ? ani.rates[s] : ani.header.defaultRate);
    }
    if (!steps) {  // no steps: every frame at the default rate
        byStep.assign(ed.frames.begin(), ed.frames.begin() + std::min<size_t>(ed.frames.size(), VC_GIF_MAX_FRAMES));
        rates.assign(byStep.size(), ani.header.defaultRate);
    }
    auto gif = std::make_unique<VcGifDocument>();
    *gif = {};
    gif->formatCode = VC_GIF_DOCUMENT_CODE;
    gif->frameCount = int16_t(byStep.size());
    gif->bitsPerPixel = 8;
    gif->repeat = 1;
    std::string delays;
    for (size_t i = 0; i < byStep.size(); ++i) {
        VcGifFrameEntry &f = gif->frames[i];
        f.bitsPerPixel = 8;
        f.width = uint16_t(byStep[i].image.width);
        f.height = uint16_t(byStep[i].image.height);
        f.hasGraphicControl = 1;
        f.transparentIndex = -1;
        f.delay = uint16_t(std::min<uint64_t>(hundredthsFromJiffies(rates[i]), 65535));
        f.disposal = 2;  // a cursor's frame replaces the one before
        if (i < 4) delays += (i ? ", " : "") + std::to_string(rates[i]) + "->" + std::to_string(f.delay);
    }
    std::string comment = std::string(ani.title, strnlen(ani.title, VC_ANI_TEXT_SIZE));
    const std::string author(ani.author, strnlen(ani.author, VC_ANI_TEXT_SIZE));
    if (!author.empty()) comment += (comment.empty() ? "" : "\r\n") + author;
    gif->commentFlag = comment.empty() ? 0 : 1;
    std::strncpy(gif->comment, comment.c_str(), VC_GIF_COMMENT_MAX);
    void *block = newBlock(gif.get(), sizeof *gif);
    if (!block) return {};
    replaceDocument(ed, block);

    std::string line = "delays 1/60 s -> 1/100 s: " + delays + (byStep.size() > 4 ? ", ..." : "");
    if (steps && (steps != ed.frames.size() || [&] {
            for (uint32_t s = 0; s < steps; ++s)
                if (ani.sequence[s] != s) return true;
            return false;
        }()))
        line += "; " + std::to_string(steps) + " steps as " + std::to_string(steps) + " frames";
    ed.frames = std::move(byStep);
    ed.current = 0;
    if (!ed.transparent && std::any_of(ed.frames.begin(), ed.frames.end(), [](const Frame &f) { return hasMaskedPixel(f.image); })) {
        const Rgb key = unusedColor(ed);
        for (Frame &f : ed.frames) paintMasked(f.image, key);
        ed.transparent = key;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06X", key & 0xFFFFFF);
        line += "; the cursor's mask as transparent colour #" + std::string(hex);
    }
    line += "; loops forever, as a cursor does";
    if (gif->commentFlag) line += "; title and author as the comment";
    return line;
}

}  // namespace

std::string carryDocument(Editor &ed, int code) {
    if (!ed.document || (code != CONV_FMT_ANI && code != CONV_FMT_ANIGIF)) return {};
    const size_t size = Library::memSize(ed.document);
    const auto *p = static_cast<const uint8_t *>(Library::memLock(ed.document));
    if (!p) return {};
    const uint16_t held = uint16_t(p[0] | p[1] << 8);
    std::string line;
    if (code == CONV_FMT_ANI && held == VC_GIF_DOCUMENT_CODE && size >= sizeof(VcGifDocument)) {
        auto gif = std::make_unique<VcGifDocument>();
        std::memcpy(gif.get(), p, sizeof *gif);
        Library::memUnlock(ed.document);
        line = gifToCursor(ed, *gif);
    } else if (code == CONV_FMT_ANIGIF && held == CONV_FMT_ANI && size >= sizeof(VcCursorDocument)) {
        auto ani = std::make_unique<VcCursorDocument>();
        std::memcpy(ani.get(), p, sizeof *ani);
        Library::memUnlock(ed.document);
        line = cursorToGif(ed, *ani);
    } else {
        Library::memUnlock(ed.document);
    }
    return line;
}

std::string describeGifDocument(const void *document, size_t size) {
    if (!document || size < sizeof(VcGifDocument)) return {};
    auto gif = std::make_unique<VcGifDocument>();
    std::memcpy(gif.get(), document, sizeof *gif);
    if (gif->formatCode != VC_GIF_DOCUMENT_CODE) return {};
    const int32_t n = VcGifDocumentFrames(gif.get());
    std::string out = "  GIF animation: " + std::to_string(n) + " frame" + (n == 1 ? "" : "s") + ", screen " +
                      std::to_string(gif->screenWidth) + "x" + std::to_string(gif->screenHeight) + ", " +
                      loopText(gif->repeat, gif->loopCount) + "\n";
    static const char *const disposals[] = {"none", "leave", "background", "previous"};
    for (int32_t i = 0; i < n; ++i) {
        const VcGifFrameEntry &f = gif->frames[i];
        out += "  GIF frame " + std::to_string(i) + ": delay " + std::to_string(f.delay) + "/100 s, disposal " +
               (f.disposal < 4 ? disposals[f.disposal] : std::to_string(f.disposal)) +
               (f.transparentIndex >= 0 ? ", transparent index " + std::to_string(f.transparentIndex) : "") +
               (f.userInput ? ", waits for the user" : "") + "\n";
    }
    return out;
}

std::string describeCursorDocument(const void *document, size_t size) {
    if (!document || size < sizeof(VcCursorDocument)) return {};
    auto doc = std::make_unique<VcCursorDocument>();
    std::memcpy(doc.get(), document, sizeof *doc);
    if (doc->formatCode != CONV_FMT_ANI) return {};
    // Line breaks a text may hold shown as \n, so that each field keeps its
    // line; a text that fills its field ends one short of it.
    auto text = [](const char (&field)[VC_ANI_TEXT_SIZE]) {
        std::string t;
        for (char c : std::string(field, strnlen(field, VC_ANI_TEXT_SIZE - 1)))
            t += c == '\n' ? std::string("\\n") : c == '\r' ? "\\r" : std::string(1, c);
        return t;
    };
    // Appended piece by piece: chains of + that start from a literal make
    // GCC warn of overlapping copies (-Wrestrict) where there are none.
    const uint32_t steps = VcCursorDocumentSteps(doc.get());
    std::string out = "  cursor animation: ";
    out += std::to_string(doc->header.frameCount);
    out += " frames, ";
    out += std::to_string(steps);
    out += " steps, default rate ";
    out += std::to_string(doc->header.defaultRate);
    out += "\n  title: \"";
    out += text(doc->title);
    out += "\"\n  author: \"";
    out += text(doc->author);
    out += "\"\n  steps (frame/rate in 1/60 s):";
    for (uint32_t i = 0; i < steps; ++i) {
        out += ' ';
        out += std::to_string(doc->sequence[i]);
        out += '/';
        out += std::to_string(doc->rates[i]);
    }
    out += '\n';
    return out;
}

}  // namespace host
