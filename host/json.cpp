// velmconv info --json: what the editor holds after a load, as one JSON
// object. The animation documents are read through their records: the
// cursor animation's header, texts, rates and sequence; the GIF
// animation's screen, loops, comment and per-frame entries.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "velmconv/documents.h"
#include "host/cli.h"
#include "host/xcursor_commands.h"
#include "velmconv/api.h"

namespace host {

namespace {

class Json {
public:
    std::string out;

    Json &raw(const std::string &s) {
        out += s;
        return *this;
    }
    Json &num(long long v) { return raw(std::to_string(v)); }
    Json &boolean(bool v) { return raw(v ? "true" : "false"); }
    // Text as the file holds it: system code page bytes (Latin-1 here), or
    // UTF-8, which goes through as it is.
    Json &str(const std::string &s, bool utf8 = false) {
        out += '"';
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') out += '\\', out += char(c);
            else if (c == '\n') out += "\\n";
            else if (c < 0x20) {
                char u[8];
                std::snprintf(u, sizeof u, "\\u%04x", c);
                out += u;
            } else if (c >= 0x80 && utf8) {
                out += char(c);
            } else if (c >= 0x80) {
                // Texts in files are in the system's code page: bytes past
                // ASCII are taken as Latin-1 so the output stays valid UTF-8.
                out += char(0xC0 | (c >> 6)), out += char(0x80 | (c & 0x3F));
            } else out += char(c);
        }
        out += '"';
        return *this;
    }
    // "key": with the comma before it when the object already has members.
    Json &key(const char *k) {
        if (!out.empty() && out.back() != '{' && out.back() != '[') out += ", ";
        return str(k).raw(": ");
    }
    Json &item() {
        if (!out.empty() && out.back() != '[') out += ", ";
        return *this;
    }
};

std::string fixedText(const char *p, size_t size) { return std::string(p, strnlen(p, size)); }

void cursorAnimation(Json &j, const VcCursorDocument &d) {
    j.key("kind").str("cursor animation");
    j.key("frames").num(d.header.frameCount).key("steps").num(d.header.stepCount);
    j.key("default_rate_sixtieths").num(d.header.defaultRate);
    j.key("title").str(fixedText(d.title, sizeof d.title));
    j.key("author").str(fixedText(d.author, sizeof d.author));
    j.key("sequence").raw("[");
    for (uint32_t i = 0; i < VcCursorDocumentSteps(&d); ++i) {
        j.item().raw("{").key("frame").num(d.sequence[i]).key("rate_sixtieths").num(d.rates[i]).raw("}");
    }
    j.raw("]");
}

void gifAnimation(Json &j, const VcGifDocument &r) {
    j.key("kind").str("GIF animation");
    j.key("screen_width").num(r.screenWidth).key("screen_height").num(r.screenHeight);
    j.key("repeat").boolean(r.repeat != 0).key("loop_count").num(r.loopCount);
    j.key("background_index").num(r.backgroundIndex).key("global_colors").num(r.globalColorCount);
    j.key("comment").str(r.commentFlag ? fixedText(r.comment, sizeof r.comment) : std::string());
    j.key("frame_count").num(VcGifDocumentFrames(&r)).key("frames").raw("[");
    for (int32_t i = 0; i < VcGifDocumentFrames(&r); ++i) {
        const VcGifFrameEntry &f = r.frames[i];
        j.item().raw("{").key("left").num(f.left).key("top").num(f.top);
        j.key("width").num(f.width).key("height").num(f.height);
        j.key("delay_hundredths").num(f.delay).key("disposal").num(f.disposal);
        j.key("transparent_index").num(f.transparentIndex).key("user_input").boolean(f.userInput != 0);
        j.key("interlaced").boolean(f.interlaced != 0).raw("}");
    }
    j.raw("]");
}

}  // namespace

std::string editorJson(const Editor &ed, const std::string &file, int result, const char *resultText, int format,
                       const char *formatText, const LoadFacts &facts) {
    Json j;
    j.raw("{");
    j.key("file").str(file).key("result").num(result).key("result_text").str(resultText);
    j.key("note");
    if (facts.note.empty()) j.raw("null");
    else j.str(facts.note);
    j.key("format").num(format).key("format_name").str(formatText);
    j.key("refusals").raw("[");
    for (const std::string &line : ed.refusals) j.item().str(line);
    j.raw("]").key("bitmaps").raw("[");
    for (const LoadFacts::Bitmap &b : facts.bitmaps) {
        j.item().raw("{").key("line").num(b.line).key("name").str(b.name).key("readable").boolean(!b.size.empty());
        j.key("size").str(b.size).key("colors").str(b.colors).raw("}");
    }
    j.raw("]").key("video");
    if (facts.videoFrames.empty()) j.raw("null");
    else j.raw("{").key("frames").str(facts.videoFrames).key("size").str(facts.videoSize).key("rate").str(facts.videoRate).raw("}");
    j.key("current_frame").num(ed.current).key("frame_count").num(static_cast<long long>(ed.frames.size()));
    j.key("frames").raw("[");
    for (const Frame &f : ed.frames) {
        j.item().raw("{").key("width").num(f.image.width).key("height").num(f.image.height);
        j.key("depth").num(f.image.bitCount).key("mask").boolean(!f.image.mask.empty());
        j.key("hotspot");
        if (f.hotspot) j.raw("{").key("x").num(f.hotspot & 0xFFFF).key("y").num(f.hotspot >> 16).raw("}");
        else j.raw("null");
        j.key("noted_as");
        if (f.noteFile.empty()) j.raw("null");
        else j.num(f.noteFormat);
        j.raw("}");
    }
    j.raw("]").key("transparent_color");
    if (ed.transparent) {
        char c[8];
        std::snprintf(c, sizeof c, "#%06X", unsigned(*ed.transparent & 0xFFFFFF));
        j.str(c);
    } else {
        j.raw("null");
    }
    j.key("animation");
    const size_t size = ed.document ? Library::memSize(ed.document) : 0;
    const auto *p = ed.document ? static_cast<const uint8_t *>(Library::memLock(ed.document)) : nullptr;
    const uint16_t code = p && size >= 2 ? uint16_t(p[0] | p[1] << 8) : 0;
    if (code == CONV_FMT_ANI && size >= sizeof(VcCursorDocument)) {
        VcCursorDocument d;
        std::memcpy(&d, p, sizeof d);
        j.raw("{").key("code").num(code);
        cursorAnimation(j, d);
        j.key("bytes").num(static_cast<long long>(size)).raw("}");
    } else if (code == CONV_FMT_ANIGIF && size >= sizeof(VcGifDocument)) {
        auto r = std::make_unique<VcGifDocument>();
        std::memcpy(r.get(), p, sizeof *r);
        j.raw("{").key("code").num(code);
        gifAnimation(j, *r);
        j.key("bytes").num(static_cast<long long>(size)).raw("}");
    } else if (p) {
        j.raw("{").key("kind").str("unknown").key("code").num(code).key("bytes").num(static_cast<long long>(size)).raw("}");
    } else {
        j.raw("null");
    }
    if (p) Library::memUnlock(ed.document);
    j.key("menu").raw("[");
    for (const MenuItem &m : ed.menu) {
        j.item().raw("{").key("slot").num(m.slot).key("position").num(m.position);
        j.key("command").num(m.commandId).key("flags").num(m.flags).key("text").str(m.text).raw("}");
    }
    j.raw("]}");
    return j.out + "\n";
}

std::string xcursorJson(const vc_animation *a, const std::string &file) {
    Json j;
    j.raw("{").key("file").str(file).key("format").str("xcursor");
    const uint32_t count = vc_animation_frame_count(a);
    j.key("images").num(count).key("sizes").raw("[");
    std::vector<std::pair<uint32_t, uint32_t>> sizes;  // nominal size, images of it
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t size = vc_frame_nominal_size(a, i);
        auto at = std::find_if(sizes.begin(), sizes.end(), [size](const auto &s) { return s.first == size; });
        if (at == sizes.end()) sizes.emplace_back(size, 1);
        else ++at->second;
    }
    for (const auto &[size, images] : sizes) j.item().raw("{").key("nominal").num(size).key("frames").num(images).raw("}");
    j.raw("]").key("frames").raw("[");
    for (uint32_t i = 0; i < count; ++i) {
        const vc_picture *p = vc_animation_frame_const(a, i);
        int32_t x = 0, y = 0;
        vc_picture_hotspot(p, &x, &y);
        j.item().raw("{").key("nominal").num(vc_frame_nominal_size(a, i)).key("width").num(vc_picture_width(p));
        j.key("height").num(vc_picture_height(p)).key("hotspot").raw("[").num(x).raw(", ").num(y).raw("]");
        j.key("delay_ms").num(vc_frame_delay_ms(a, i)).raw("}");
    }
    j.raw("]").key("comments").raw("{");
    const std::pair<const char *, vc_comment_kind> kinds[] = {
        {"copyright", VC_COMMENT_COPYRIGHT}, {"license", VC_COMMENT_LICENSE}, {"other", VC_COMMENT_OTHER}};
    for (const auto &[name, kind] : kinds)
        if (*vc_animation_comment(a, kind)) j.key(name).str(vc_animation_comment(a, kind), true);
    j.raw("}}\n");
    return j.out;
}

}  // namespace host
