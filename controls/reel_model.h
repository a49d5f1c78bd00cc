// The film strip's portable model: everything the AVIREEL control keeps and
// decides except the drawing. Frame count, current frame and selection,
// the cell geometry that follows from the client size and the frames'
// aspect, hit testing, keys, the scroll bar, the painted flag, and the
// notifications to the parent in the order the control sends them.
//
// The Win32 control feeds it its messages and paints what it describes;
// every dialog model that shows a strip keeps one per strip and is its
// parent, so a headless dialog follows the same rules as the real one.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/owners.h"
#include "velmconv/dialogs.h"

namespace vc {

// Messages to the control (WM_USER + 256 on).
enum : uint32_t {
    REEL_SETFRAMES = 1280,
    REEL_GETCOUNT = 1281,
    REEL_GETCURRENT = 1282,
    REEL_SETCURRENT = 1283,
    REEL_GETSEL = 1284,
    REEL_SETSEL = 1285,
    REEL_GETSELCOUNT = 1286,
};
// Sent to the parent while painting, with a REELDRAW record.
constexpr uint32_t REEL_DRAWFRAME = 1280;

// Notification codes of WM_COMMAND to the parent; lParam is a frame index.
enum : int {
    REELN_CURRENT = VC_REEL_CURRENT,       // a key chose a new current frame (sent before the move)
    REELN_CLICK = VC_REEL_CLICK,           // left button on a cell
    REELN_DBLCLK = VC_REEL_DOUBLE_CLICK,   // left double click, -1 outside every cell
    REELN_RCLICK = VC_REEL_RIGHT_CLICK,    // right button, -1 outside every cell
    REELN_SELCHANGE = VC_REEL_SELECTION,   // REEL_SETSEL changed the selection (0)
};

// The control's own style bit: without it the selection never changes.
constexpr uint32_t REELS_MULTISEL = 0x0001;

// Who receives the notifications: the dialog that holds the strip.
class ReelModel;
class ReelParent {
public:
    virtual void reelNotify(int reelId, int code, int32_t index) = 0;
    // The parent's strip reelId, none when it has no such strip.
    virtual const ReelModel *reelFor(int reelId) const { return nullptr; }

protected:
    ~ReelParent() = default;
};

// What the control asks of its window after a change.
enum class ReelRepaint : uint8_t {
    None,
    Marks,  // invalidate without erasing: bands, gaps and marks only
    All,    // invalidate with erasing: the pictures are asked for again
};

// One cell a paint draws.
struct ReelCell {
    int32_t frame;
    int32_t x;  // left edge; negative when cut off at the left
    bool selected;
    bool current;
};

class ReelModel {
public:
    static constexpr int32_t kBand = 8;          // sprocket band height above and below the cells
    static constexpr int32_t kGap = 12;          // columns between cells, and before the first
    static constexpr int32_t kScrollUnit = 32;   // pixels per scroll bar unit
    static constexpr int32_t kMinCellWidth = 4;
    // Virtual keys the strip answers.
    enum : int { kKeySpace = 0x20, kKeyPageUp, kKeyPageDown, kKeyEnd, kKeyHome, kKeyLeft, kKeyUp, kKeyRight };
    // Scroll bar codes.
    enum : int { kLineLeft, kLineRight, kPageLeft, kPageRight, kThumbPosition, kThumbTrack, kLeft, kRight };

    ReelModel(int id, uint32_t style, ReelParent *parent = nullptr) : id_(id), style_(style), parent_(parent) {}
    int id() const { return id_; }
    ReelModel(const ReelModel &) = delete;
    ReelModel &operator=(const ReelModel &) = delete;

    // ---- Messages ---------------------------------------------------------------
    // REEL_SETFRAMES: a new frame set. No current frame, an empty selection
    // (none at all when its block cannot be had), layout recomputed.
    void setFrames(uint32_t count, uint16_t frameWidth, uint16_t frameHeight);
    int32_t count() const { return count_; }                 // REEL_GETCOUNT
    int32_t current() const { return current_; }             // REEL_GETCURRENT
    // REEL_SETCURRENT: refused at or past the frame count and for the
    // frame already current; a negative index clears the mark. Scrolls the
    // frame into view unless noScroll.
    void setCurrent(int32_t index, bool noScroll = false);
    bool selected(int32_t index) const;                      // REEL_GETSEL
    // REEL_SETSEL over first..last, last lowered to the last frame; only
    // with REELS_MULTISEL and a selection block. Notifies REELN_SELCHANGE.
    void setSel(bool select, uint32_t first, uint32_t last);
    int32_t selCount() const;                                // REEL_GETSELCOUNT
    bool multiSelect() const { return (style_ & REELS_MULTISEL) != 0; }
    // Who hears the notifications: the window a strip is shown in takes
    // them over while it lives, and passes them on as its messages.
    ReelParent *parent() const { return parent_; }
    void setParent(ReelParent *parent) { parent_ = parent; }
    bool hasSelection() const { return bool(selection_); }
    MemHandle selectionBlock() const { return selection_.handle(); }
    uint16_t frameWidth() const { return frameWidth_; }
    uint16_t frameHeight() const { return frameHeight_; }

    // ---- Window events -------------------------------------------------------------
    // WM_SIZE: the client size and the system's horizontal scroll bar height.
    // A frame made current before the strip had a width is scrolled into
    // view by the first size that gives it one.
    void resize(int32_t width, int32_t height, int32_t scrollBarHeight);
    // The cell under a client point (words of a mouse message), -1 for none.
    int32_t hitTest(uint16_t x, uint16_t y) const;
    void leftButtonDown(uint16_t x, uint16_t y);
    void leftDoubleClick(uint16_t x, uint16_t y);
    void rightButtonDown(uint16_t x, uint16_t y);
    void keyDown(int virtualKey);
    // WM_HSCROLL from the strip's own bar.
    void scrollBar(int code, int thumbPosition);
    // WM_ERASEBKGND and the end of WM_PAINT.
    void backgroundErased() { painted_ = false; }
    void paintDone() { painted_ = true; }
    // Whether this paint asks the parent for the pictures.
    bool painted() const { return painted_; }

    // ---- What the window shows ----------------------------------------------------------
    int32_t cellWidth() const { return cellWidth_; }
    int32_t cellHeight() const { return cellHeight_; }
    int32_t pitch() const { return cellWidth_ + kGap; }
    int32_t scrollOffset() const { return offset_; }
    int32_t cellsPerPage() const { return cellsPerPage_; }
    int32_t extent() const { return extent_; }
    // The scroll bar: range 0..barMax, position barPosition (scroll units).
    int32_t barMax() const { return barMax_; }
    int32_t barPosition() const { return barPosition_; }
    // The cells a paint over the current client width draws, left to right.
    std::vector<ReelCell> visibleCells() const;
    // How far the sprocket bands are shifted, so they move with the cells.
    int32_t bandPhase() const { return offset_ % kGap; }
    // The repaint the changes since the last call ask for.
    ReelRepaint takeRepaint() { return std::exchange(repaint_, ReelRepaint::None); }

private:
    void layout();
    void scrollIntoView(int32_t index);
    void setBarPosition(int32_t position);
    void invalidate(ReelRepaint kind);
    void notify(int code, int32_t index);

    int id_;
    uint32_t style_;
    ReelParent *parent_;

    int32_t count_ = 0;
    int32_t current_ = 0;  // a new control's; REEL_SETFRAMES makes it -1
    int32_t pendingView_ = -1;  // the frame to scroll into view once the strip has a width
    uint16_t frameWidth_ = 0, frameHeight_ = 0;
    plat::Block selection_;  // one byte per frame, 1 when selected

    int32_t width_ = 0, height_ = 0, barHeight_ = 0;
    int32_t cellWidth_ = 0, cellHeight_ = 0;
    int32_t offset_ = 0, extent_ = 0, cellsPerPage_ = 0;
    int32_t barMax_ = 0, barPosition_ = 0;
    bool painted_ = false;
    ReelRepaint repaint_ = ReelRepaint::None;
};

}  // namespace vc
