// The film strip's model: geometry from the client and frame sizes, the
// scroll bar, scrolling a frame into view, the selection,
// hit testing, keys and the order of the notifications to the parent.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "controls/reel_model.h"

using vc::ReelModel;
using vc::ReelRepaint;

namespace {

struct Notice {
    int code;
    int32_t index, currentThen;
    bool operator==(const Notice &) const = default;
};

// The parent: what it was told, and where the strip's mark stood then.
class Reel : public ::testing::Test, public vc::ReelParent {
protected:
    static constexpr int kId = 111;
    // The 320 x 117 control of 32 x 32 frames with a 16-pixel scroll bar.
    void make(uint32_t style = vc::REELS_MULTISEL, uint32_t frames = 10, uint16_t fw = 32, uint16_t fh = 32) {
        reel = std::make_unique<ReelModel>(kId, style, this);
        reel->resize(320, 117, 16);
        reel->setFrames(frames, fw, fh);
        (void)reel->takeRepaint();
        told.clear();
    }
    void reelNotify(int id, int code, int32_t index) override {
        EXPECT_EQ(id, kId);
        told.push_back({code, index, reel->current()});
    }
    std::unique_ptr<ReelModel> reel;
    std::vector<Notice> told;
};

TEST_F(Reel, CellsTakeTheFramesAspectAndFillTheHeight) {
    // frame width and height, client width and height, bar height, cell width and height, cells per page
    const std::tuple<uint16_t, uint16_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t> cases[] = {
        {4, 3, 320, 117, 16, 113, 85, 2},   // 113.33 truncated
        {1, 100, 320, 117, 16, 4, 85, 20},  // narrower than 4 pixels
        {32, 32, 320, 32, 16, 4, 0, 20},    // too low for cells
        {32, 32, 50, 117, 16, 85, 85, 1},   // never fewer than one per page
    };
    for (const auto &[fw, fh, w, h, bar, cellWidth, cellHeight, perPage] : cases) {
        SCOPED_TRACE(::testing::Message() << fw << "x" << fh << " in " << w << "x" << h);
        ReelModel r(1, 0);
        r.resize(w, h, bar);
        r.setFrames(10, fw, fh);
        EXPECT_EQ(std::tuple(r.cellWidth(), r.cellHeight(), r.cellsPerPage(), r.current()), std::tuple(cellWidth, cellHeight, perPage, -1));
    }
}

TEST_F(Reel, ScrollBarStepsInUnitsOfThreeCellsPerPageAndStopsAtItsEnds) {
    make();
    ASSERT_EQ(reel->barMax(), 23);  // 742 pixels of extent
    const std::tuple<int, int, int32_t, ReelRepaint> steps[] = {  // code, thumb, position, repaint
        {ReelModel::kLineRight, 0, 3, ReelRepaint::All},  // 96 pixels
        {ReelModel::kPageRight, 0, 12, ReelRepaint::All},
        {ReelModel::kRight, 0, 23, ReelRepaint::All},
        {ReelModel::kLineRight, 0, 23, ReelRepaint::None},
        {ReelModel::kThumbTrack, 5, 5, ReelRepaint::All},
        {ReelModel::kLineLeft, 0, 2, ReelRepaint::All},
        {ReelModel::kPageLeft, 0, 0, ReelRepaint::All},
        {8 /* end of scroll */, 0, 0, ReelRepaint::None},
    };
    for (const auto &[code, thumb, position, repaint] : steps) {
        SCOPED_TRACE(code);
        reel->scrollBar(code, thumb);
        EXPECT_EQ(std::tuple(reel->barPosition(), reel->scrollOffset(), reel->takeRepaint()), std::tuple(position, position * 32, repaint));
    }
    EXPECT_TRUE(told.empty());
}

TEST_F(Reel, SetCurrentRefusesOutsideTheFramesAndScrollsIntoView) {
    make();
    const std::tuple<int32_t, bool, int32_t, int32_t, ReelRepaint> cases[] = {  // index, no scroll, current, offset, repaint
        {10, false, -1, 0, ReelRepaint::None},  // the frame count
        {9, false, 9, 662, ReelRepaint::All},   // right edge 12 pixels inside
        {9, false, 9, 662, ReelRepaint::None},  // already current
        {0, false, 0, 0, ReelRepaint::All},     // comes to x = 12
        {2, false, 2, 0, ReelRepaint::Marks},   // visible already
        {8, true, 8, 0, ReelRepaint::Marks},
        {-1, false, -1, 0, ReelRepaint::Marks},  // the mark goes, nothing scrolls
    };
    for (const auto &[index, noScroll, current, offset, repaint] : cases) {
        SCOPED_TRACE(index);
        reel->setCurrent(index, noScroll);
        EXPECT_EQ(std::tuple(reel->current(), reel->scrollOffset(), reel->takeRepaint()), std::tuple(current, offset, repaint));
    }
    EXPECT_TRUE(told.empty()) << "no notification";
}

TEST_F(Reel, AFrameMadeCurrentBeforeTheStripHasAWidthIsScrolledIntoViewByItsFirstSize) {
    // Dialogs fill their strips before their windows are sized.
    for (const auto &[index, offset] : {std::pair{0, 0}, std::pair{9, 662}}) {
        ReelModel r(1, 0);
        r.setFrames(10, 32, 32);
        r.setCurrent(index);
        r.resize(320, 117, 16);
        r.resize(300, 117, 16);  // only the first size scrolls
        EXPECT_EQ(std::pair(r.scrollOffset(), r.visibleCells().front().x), std::pair(offset, 12 + 97 * (offset / 97) - offset)) << index;
    }
}

TEST_F(Reel, SelectionNeedsTheStyleAndItsBlockAndIsClearedByNewFrames) {
    // A strip without its block (memory refused) has no selection: the
    // allocation sweep's AVI export meets that.
    for (uint32_t style : {0u, vc::REELS_MULTISEL}) {
        make(style);
        reel->setSel(true, 0, 999);
        EXPECT_EQ(std::tuple(reel->selCount(), reel->selected(9), told.size()), std::tuple(style ? 10 : 0, style != 0, size_t(style ? 1 : 0)));
    }
    reel->setFrames(10, 32, 32);
    reel->setSel(true, 2, 4);
    reel->setSel(false, 3, 3);
    reel->setSel(true, 7, 6);  // first past last: nothing
    EXPECT_EQ(told, std::vector<Notice>(3, {vc::REELN_SELCHANGE, 0, -1})) << "the first from the loop's last row";
    EXPECT_EQ(std::vector<bool>({reel->selected(2), reel->selected(3), reel->selected(4), reel->selected(-1)}),
              std::vector<bool>({true, false, true, false}));
    reel->setCurrent(4);
    reel->setFrames(5, 32, 32);
    EXPECT_EQ(std::tuple(reel->selCount(), reel->current()), std::tuple(0, -1));
}

TEST_F(Reel, ClicksHitCellsAndTheirFirstGapColumnOnly) {
    make();
    const std::tuple<uint16_t, uint16_t, int32_t> cases[] = {  // x, y, the frame hit
        {12, 8, 0},   {97, 93, 0},  // the cell's corners; 97 is the gap's first column
        {98, 50, -1}, {108, 50, -1}, {109, 50, 1}, {11, 50, -1},
        {50, 7, -1},  {50, 94, -1},  // the bands
        {982, 50, -1},               // past the last frame
    };
    for (const auto &[x, y, hit] : cases) EXPECT_EQ(reel->hitTest(x, y), hit) << x << "," << y;
    // A press on a gap tells nothing (the Windows strip's steps have the
    // double and right clicks, which tell the parent even there).
    reel->leftButtonDown(100, 50);
    reel->leftButtonDown(150, 50);
    EXPECT_EQ(told, (std::vector<Notice>{{vc::REELN_CLICK, 1, -1}}));
    EXPECT_EQ(reel->current(), -1) << "a click moves nothing by itself";
}

TEST_F(Reel, KeysNotifyTheNewFrameBeforeMovingThere) {
    using R = ReelModel;
    const std::tuple<int32_t, int, int32_t> cases[] = {  // from, key, to (-2: no notification)
        {9, R::kKeyRight, -2}, {0, R::kKeyLeft, -2},   {0, R::kKeyHome, -2},    {-1, R::kKeyLeft, 0},
        {-1, R::kKeyRight, 0}, {4, R::kKeyPageUp, 1},   {2, R::kKeyPageUp, 0},   {4, R::kKeyPageDown, 7},
        {8, R::kKeyPageDown, 9}, {3, R::kKeyEnd, 9},  {5, R::kKeyUp, -2},        {5, R::kKeyRight, 6},
    };
    for (const auto &[from, key, to] : cases) {
        SCOPED_TRACE(::testing::Message() << from << " key " << key);
        make();
        reel->setCurrent(from);
        reel->keyDown(key);
        EXPECT_EQ(told, (to == -2 ? std::vector<Notice>{} : std::vector<Notice>{{vc::REELN_CURRENT, to, from}}));
        EXPECT_EQ(reel->current(), to == -2 ? from : to);
    }
    // Space toggles the current frame's selection (through setSel, whose
    // style rule the selection test has); no frames, no keys.
    make();
    reel->setCurrent(3);
    reel->keyDown(R::kKeySpace);
    EXPECT_TRUE(reel->selected(3));
    reel->keyDown(R::kKeySpace);
    EXPECT_EQ(std::pair(told.size(), reel->selCount()), std::pair(size_t(2), 0));
    make(vc::REELS_MULTISEL, 0);
    for (int key : {R::kKeySpace, R::kKeyHome, R::kKeyEnd}) reel->keyDown(key);
    EXPECT_TRUE(told.empty());
}

}  // namespace
