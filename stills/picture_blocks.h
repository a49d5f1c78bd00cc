// Between the still formats' cores and the editor: pictures into image
// blocks and back, and the progress window as a core's progress.
#pragma once

#include <cstdint>

#include "common/image_block.h"
#include "common/picture.h"

namespace vc {

// The picture an image block holds. The header must be usable
// (dibHeaderUsable against the block's size): rows are turned bottom up
// when the block's run top down, and the colour table is cut to the
// entries the depth can index (none at 24 bits).
Picture pictureOfBlock(const ConvBitmapInfoHeader &header, const uint8_t *block);

// A new image block (makePackedDib) with the spec's header, the picture's
// colour table unless the spec names one, and its rows. Empty when the
// block is refused.
plat::Block blockOfPicture(const Picture &picture, DibSpec spec);

// Progress that moves the progress window's bar. The writers of the still
// formats have always run to their end once begun: the window's Cancel is
// not read, the save is not stopped.
Progress progressWindowBar();

}  // namespace vc
