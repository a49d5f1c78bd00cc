// Between the still formats' cores and the editor: pictures into image
// blocks and back, and the progress window as a core's progress.
#pragma once

#include <cstdint>

#include "codecs/rows_target.h"
#include "common/image_block.h"
#include "common/picture.h"

namespace vc {

// The picture an image block holds, for a writer to read the rows where
// they are: fills every field of the picture but its pixels and gives
// where its rows start, bottom row first. The header must be usable
// (dibHeaderUsable against the block's size). A top-down block's rows are
// turned into the picture's own pixels, and the rows are those. The colour
// table is cut to the entries the depth can index (none at 24 bits).
const uint8_t *pictureOfBlock(const ConvBitmapInfoHeader &header, const uint8_t *block, Picture &picture);

// An image block a decoder writes the rows of: made, with the header the
// DibSpec describes (its size and depth the picture's, biClrUsed the whole
// table of a depth up to 8 bits) and the picture's colour table, when the
// decoder asks for the rows, so that the picture is decoded into the block
// the editor gets.
struct BlockRows {
    DibSpec header;
    plat::Block block;  // empty until the decoder asked, or when refused
    RowsTarget target();
};

// Progress that moves the progress window's bar. The writers of the still
// formats have always run to their end once begun: the window's Cancel is
// not read, the save is not stopped.
Progress progressWindowBar();

}  // namespace vc
