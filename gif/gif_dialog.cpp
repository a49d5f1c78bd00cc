#include "gif/gif_dialog.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "ui/services.h"
#include "controls/playback.h"
#include "gif/gif_anim.h"
#include "resources/strings.h"

namespace vc {

namespace {

bool sameFrameSettings(const GifFrameEntry &a, const GifFrameEntry &b) {
    return a.delay == b.delay && a.disposal == b.disposal && a.userInput == b.userInput &&
           a.interlaced == b.interlaced;
}

}  // namespace

std::optional<uint32_t> parseDialogUnsigned(const std::string &text) {
    const char *s = text.c_str();
    while (*s == ' ') ++s;
    if (*s < '0' || *s > '9') return std::nullopt;
    uint64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + uint64_t(*s - '0');
        if (v > UINT32_MAX) return std::nullopt;
        ++s;
    }
    while (*s == ' ') ++s;
    if (*s) return std::nullopt;
    return uint32_t(v);
}

// ---- Settings between record and controls ----------------------------------------

bool GifAnimationDialogModel::start() {
    LoadFileSettings();
    const plat::BrowserCommand browser = plat::browserCommand();
    browserCommand = browser.shorten ? shortenBrowserCommand(browser.text) : browser.text;
    browserEnabled = !browserCommand.empty();
    // The record's output width and height are the two words the editor fills.
    static_assert(offsetof(GifAnimRecord, outputHeight) == offsetof(GifAnimRecord, outputWidth) + 2);
    (void)editor().imageSize(&record->outputWidth);  // without an answer the record's own size stays
    strip.setFrames(uint32_t(std::max(recordFrames(*record), 0)), record->outputWidth, record->outputHeight);
    // The swatch shows the colour of the editor's palette nearest the
    // document's background colour.
    (void)editor().getPalette(palette, 1);  // no palette: no swatch colour to match
    plat::PaletteColor colors[256];
    const uint32_t n = plat::paletteEntries(palette, colors, 256);
    paletteColors.clear();
    for (uint32_t i = 0; i < n; ++i)
        paletteColors.push_back(GifRgbQuad{colors[i].blue, colors[i].green, colors[i].red, 0});
    if (!paletteColors.empty()) {
        const GifRgbQuad want = record->globalPalette[record->backgroundIndex & 0xFF];
        size_t best = 0;
        int32_t bestDistance = INT32_MAX;
        for (size_t i = 0; i < paletteColors.size() && i < 256; ++i) {
            const GifRgbQuad &c = paletteColors[i];
            int32_t dr = c.red - want.red, dg = c.green - want.green, db = c.blue - want.blue;
            int32_t d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) bestDistance = d, best = i;
        }
        setBackground(int32_t(best), paletteColors[best]);
    }
    LoadFrameSettings(0);
    enterFlag = false;
    return true;
}

void GifAnimationDialogModel::LoadFrameSettings(int32_t frame) {
    if (frame < 0 || frame >= kGifMaxFrames) return;
    const GifFrameEntry &f = record->frames[frame];
    delayOn = f.delay != 0;
    delayEnabled = delayOn;
    delay = std::to_string(f.delay ? f.delay : 1);
    left = std::to_string(f.left);
    top = std::to_string(f.top);
    userInput = f.userInput != 0;
    disposal = f.disposal;
    interlaced = f.interlaced != 0;
    strip.setCurrent(frame);
    frameNumber = std::to_string(frame + 1);
}

int32_t GifAnimationDialogModel::StoreFrameSettings() {
    const int32_t i = strip.current();
    if (i < 0 || i >= kGifMaxFrames) return -1;
    GifFrameEntry &f = record->frames[i];
    f.delay = delayOn ? uint16_t(std::min<uint32_t>(parseDialogUnsigned(delay).value_or(0), 0xFFFF)) : 0;
    f.left = int16_t(std::min(parseDialogUnsigned(left).value_or(0), kGifPositionMax));
    f.top = int16_t(std::min(parseDialogUnsigned(top).value_or(0), kGifPositionMax));
    f.userInput = userInput ? 1 : 0;
    f.disposal = uint16_t(disposal < 0 ? 0 : disposal);
    f.interlaced = interlaced ? 1 : 0;
    f.hasGraphicControl = 1;
    const int32_t n = recordFrames(*record);
    for (int32_t j = 0; j < n; ++j) {
        if (j == i || (!sameForAll && !strip.selected(j))) continue;
        GifFrameEntry &g = record->frames[j];
        if (altDown) {
            // Alt copies the position and nothing else.
            g.left = f.left;
            g.top = f.top;
        } else {
            g.delay = f.delay;
            g.disposal = f.disposal;
            g.userInput = f.userInput;
            g.interlaced = f.interlaced;
        }
    }
    strip.setSel(false, 0, 999);
    return i;
}

void GifAnimationDialogModel::LoadFileSettings() {
    disposalNames.clear();
    for (unsigned id = IDS_DISPOSAL_NOTHING;; ++id) {
        char name[64];
        if (plat::loadString(id, name, sizeof name) <= 0) break;
        disposalNames.emplace_back(name);
    }
    const int32_t known = recordFrames(*record);
    sameForAll = true;
    for (int32_t j = 1; j < known; ++j) sameForAll = sameForAll && sameFrameSettings(record->frames[j], record->frames[0]);
    if (editor()) extendGifFrames(*record, editor().frameCount());
    sameForAllEnabled = recordFrames(*record) > 1;
    comment.assign(record->comment, strnlen(record->comment, kGifCommentMax));
    commentCaret = comment.size();
    commentOn = record->commentFlag != 0;
    repeatOn = record->repeat != 0;
    loopsChecked = record->loopCount != 0;
    infiniteChecked = !loopsChecked;
    loopCount = std::to_string(record->loopCount ? record->loopCount : 1);
    notify(IDC_GIFANIM_REPEAT, 0);
}

void GifAnimationDialogModel::StoreFileSettings() {
    record->commentFlag = commentOn ? 1 : 0;
    size_t n = std::min<size_t>(comment.size(), kGifCommentMax);
    std::memcpy(record->comment, comment.data(), n);
    record->comment[n] = 0;
    record->repeat = repeatOn ? 1 : 0;
    record->loopCount = loopsChecked ? parseDialogUnsigned(loopCount).value_or(0) : 0;
}

// ---- Commands ---------------------------------------------------------------------

void GifAnimationDialogModel::notify(int controlId, int notification) {
    const int32_t count = recordFrames(*record);
    switch (controlId) {
    case IDC_GIFANIM_COMMENT_ON:
        commentEnabled = commentOn;
        break;
    case IDC_GIFANIM_COMMENT:
        if (notification == kEditUpdate) commentOn = !comment.empty();
        // Enter in the comment reaches the dialog as OK after the edit
        // lost the focus; remember that it was Enter.
        if (notification == kEditKillFocus) enterFlag = enterDown;
        if (notification == kEditSetFocus) focus = IDC_GIFANIM_COMMENT;
        break;
    case IDC_GIFANIM_REPEAT:
        loopRadiosEnabled = repeatOn;
        loopCountEnabled = repeatOn && loopsChecked;
        break;
    case IDC_GIFANIM_INFINITE:
    case IDC_GIFANIM_LOOPS:
        loopCountEnabled = loopsChecked;
        break;
    case IDC_GIFANIM_PREVIOUS: {
        int32_t s = StoreFrameSettings();
        if (count > 0) LoadFrameSettings(s <= 0 ? count - 1 : s - 1);
        break;
    }
    case IDC_GIFANIM_NEXT: {
        int32_t s = StoreFrameSettings();
        if (count > 0) LoadFrameSettings(s < 0 || s >= count - 1 ? 0 : s + 1);
        break;
    }
    case IDC_GIFANIM_BACKGROUND: {
        if (!editor()) break;
        intptr_t index = editor().pickBackground(record->backgroundIndex, window);
        if (index < 0 || index > 255) break;
        GifRgbQuad color = record->globalPalette[index];
        if (size_t(index) < paletteColors.size()) color = paletteColors[size_t(index)];
        setBackground(int32_t(index), color);
        break;
    }
    case IDC_GIFANIM_DELAY_ON:
        delayEnabled = delayOn;
        break;
    case IDC_GIFANIM_PREVIEW: {
        // The playback window plays the record as it would be saved.
        int32_t i = StoreFrameSettings();
        StoreFileSettings();
        ComputeGifScreenSize(*record, record->outputWidth, record->outputHeight);
        (void)RunAnimationPreview(window, playbackReel(*record), callback);  // always 1
        LoadFrameSettings(i);
        break;
    }
    case IDC_GIFANIM_BROWSER:
        (void)browserPreview();  // a browser that did not start is not reported
        break;
    case IDC_GIFANIM_TRANSPARENT:
        editor().editTransparent(window);
        break;
    default:
        break;
    }
}

bool GifAnimationDialogModel::listText(int id, int32_t index, std::string &text) const {
    if (listCount(id) <= index || index < 0) return false;
    text = disposalNames[size_t(index)];
    return true;
}

int GifAnimationDialogModel::isChecked(int id) const {
    switch (id) {
    case IDC_GIFANIM_COMMENT_ON: return commentOn;
    case IDC_GIFANIM_REPEAT: return repeatOn;
    case IDC_GIFANIM_INFINITE: return infiniteChecked;
    case IDC_GIFANIM_LOOPS: return loopsChecked;
    case IDC_GIFANIM_SAME_FOR_ALL: return sameForAll;
    case IDC_GIFANIM_DELAY_ON: return delayOn;
    case IDC_GIFANIM_USER_INPUT: return userInput;
    case IDC_GIFANIM_INTERLACED: return interlaced;
    default: return -1;
    }
}

bool GifAnimationDialogModel::clicked(int controlId) {
    switch (controlId) {
    case IDC_GIFANIM_COMMENT_ON: commentOn = !commentOn; break;
    case IDC_GIFANIM_REPEAT: repeatOn = !repeatOn; break;
    case IDC_GIFANIM_INFINITE: infiniteChecked = true, loopsChecked = false; break;
    case IDC_GIFANIM_LOOPS: infiniteChecked = false, loopsChecked = true; break;
    case IDC_GIFANIM_SAME_FOR_ALL: sameForAll = !sameForAll; break;
    case IDC_GIFANIM_DELAY_ON: delayOn = !delayOn; break;
    case IDC_GIFANIM_USER_INPUT: userInput = !userInput; break;
    case IDC_GIFANIM_INTERLACED: interlaced = !interlaced; break;
    case IDC_GIFANIM_PREVIOUS:
    case IDC_GIFANIM_NEXT:
    case IDC_GIFANIM_BACKGROUND:
    case IDC_GIFANIM_PREVIEW:
    case IDC_GIFANIM_TRANSPARENT:
    case IDC_GIFANIM_BROWSER: break;
    default: return false;
    }
    notify(controlId, 0);
    return true;
}

std::string *GifAnimationDialogModel::textField(int id) {
    switch (id) {
    case IDC_GIFANIM_COMMENT: return &comment;
    case IDC_GIFANIM_LOOP_COUNT: return &loopCount;
    case IDC_GIFANIM_DELAY: return &delay;
    case IDC_GIFANIM_LEFT: return &left;
    case IDC_GIFANIM_TOP: return &top;
    default: return nullptr;
    }
}

bool GifAnimationDialogModel::enabled(int id) const {
    switch (id) {
    case IDC_GIFANIM_COMMENT: return commentEnabled;
    case IDC_GIFANIM_INFINITE:
    case IDC_GIFANIM_LOOPS: return loopRadiosEnabled;
    case IDC_GIFANIM_LOOP_COUNT:
    case IDC_GIFANIM_LOOP_SPIN: return loopCountEnabled;
    case IDC_GIFANIM_DELAY:
    case IDC_GIFANIM_DELAY_SPIN: return delayEnabled;
    case IDC_GIFANIM_SAME_FOR_ALL: return sameForAllEnabled;
    case IDC_GIFANIM_BROWSER: return browserEnabled;
    default: return true;
    }
}

bool GifAnimationDialogModel::select(int listId, int32_t index) {
    if (listId != IDC_GIFANIM_DISPOSAL || index < 0 || size_t(index) >= disposalNames.size()) return false;
    disposal = index;
    return true;
}

void GifAnimationDialogModel::scroll(int scrollBarId, int scrollCode) {
    switch (scrollBarId) {
    case IDC_GIFANIM_LOOP_SPIN:
        if (auto v = stepValue(loopCount.c_str(), scrollCode, 1, kGifLoopMax)) loopCount = std::to_string(*v);
        break;
    case IDC_GIFANIM_DELAY_SPIN:
        if (auto v = stepValue(delay.c_str(), scrollCode, 0, kGifDelayMax)) {
            delay = std::to_string(*v);
            if (*v != 0) delayOn = true;
        }
        break;
    case IDC_GIFANIM_LEFT_SPIN:
        if (auto v = stepValue(left.c_str(), scrollCode, 0, kGifPositionStepMax)) left = std::to_string(*v);
        break;
    case IDC_GIFANIM_TOP_SPIN:
        if (auto v = stepValue(top.c_str(), scrollCode, 0, kGifPositionStepMax)) top = std::to_string(*v);
        break;
    default:
        break;
    }
}

void GifAnimationDialogModel::reelNotify(int reelId, int code, int32_t frame) {
    if (reelId != IDC_GIFANIM_STRIP) return;
    switch (code) {
    case REELN_CLICK:
        if (shiftDown || ctrlDown) {
            bool selected = strip.selected(frame);
            int32_t first = frame, last = frame;
            if (ctrlDown && strip.current() >= 0) {
                first = std::min(strip.current(), frame);
                last = std::max(strip.current(), frame);
            }
            if (first >= 0) strip.setSel(!selected, uint32_t(first), uint32_t(last));
            break;
        }
        [[fallthrough]];
    case REELN_CURRENT:
        StoreFrameSettings();
        LoadFrameSettings(frame);
        break;
    case REELN_SELCHANGE:
        if (int32_t selected = strip.selCount(); selected != 0) sameForAll = selected >= strip.count();
        break;
    default:
        break;
    }
}

void GifAnimationDialogModel::setBackground(int32_t index, GifRgbQuad color) {
    if (index < 0 || index > 255) return;
    record->backgroundIndex = uint16_t(index);
    record->globalPalette[index] = color;
    ++backgroundChanges;
}

bool GifAnimationDialogModel::pressOk() {
    if (enterFlag) {
        // The Enter key meant a new line in the comment, not OK.
        if (commentCaret > comment.size()) commentCaret = comment.size();
        comment.insert(commentCaret, "\r\n");
        commentCaret += 2;
        focus = IDC_GIFANIM_COMMENT;
        enterFlag = false;
        return false;
    }
    ComputeGifScreenSize(*record, record->outputWidth, record->outputHeight);
    StoreFrameSettings();
    StoreFileSettings();
    end(1);
    return true;
}

intptr_t GifAnimationDialogModel::pressEnter() {
    // An Enter that became a line break leaves the dialog open; the next
    // one is OK.
    if (!pressOk()) pressOk();
    return result();
}

}  // namespace vc
