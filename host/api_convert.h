// One file converted to one format through the library's public API, as a
// batch does it: read by vc_read_path (or as the host's own BMP and PNG),
// every picture brought to the depth the format takes, written by
// vc_write_path. No dialog is asked and nothing is kept between calls, so
// any number of conversions may run at once on their own threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/image.h"
#include "velmconv/api.h"

namespace host {

// The API's animations and pictures, freed when their owner goes.
struct FreeAnimation {
    void operator()(vc_animation *a) const { vc_animation_free(a); }
};
struct FreePicture {
    void operator()(vc_picture *p) const { vc_picture_free(p); }
};
using AnimationPtr = std::unique_ptr<vc_animation, FreeAnimation>;
using PicturePtr = std::unique_ptr<vc_picture, FreePicture>;

struct ApiConversion {
    bool ok = false;
    std::string said;    // the line for standard output when it worked
    std::string reason;  // why not, for the batch's summary
};

// A file read once, for any number of conversions. format is the name the
// target was asked by ("cur" writes a cursor, "ico" an icon), code its
// editor code; the host's own bmp and png write one file a frame, numbered
// when there are several.
class ApiInput {
   public:
    explicit ApiInput(const std::string &path);
    ~ApiInput();
    ApiInput(const ApiInput &) = delete;
    ApiInput &operator=(const ApiInput &) = delete;

    // With sizes (an animated cursor only) every frame is written at each
    // size, the sizes of one frame together (see host/icon_set.h).
    ApiConversion convertTo(const std::string &out, const std::string &format, int code, bool dither,
                            const std::vector<int32_t> &sizes = {}) const;

   private:
    ApiInput(std::string path, vc_animation *animation, vc_format source)
        : path_(std::move(path)), animation_(animation), source_(source) {}
    ApiConversion convertCursorSize(const std::string &out, const std::string &format, int code, bool dither) const;

    ApiConversion sizedFrames(vc_animation *written, const std::string &out, uint32_t frames,
                              const std::vector<int32_t> &sizes) const;
    std::string path_;
    std::string failure_;  // why it could not be read; empty when it was
    vc_animation *animation_ = nullptr;
    vc_format source_ = VC_FORMAT_UNKNOWN;
};

// A picture of the API as the host keeps it, and back: 32 bits become 24
// with the alpha as the mask (below 128 hidden; none when every pixel is
// hidden, as in icons whose alpha was never written), a GIF's transparent
// index becomes the mask as well.
Image imageOfPicture(const vc_picture *picture);
vc_picture *pictureOfImage(const Image &image);

}  // namespace host
