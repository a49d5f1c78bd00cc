// The GIF animation dialog's browser preview: the document as it would be
// saved, in a temporary GIF the system's web browser is started on.
#include <cstdio>
#include <cstring>

#include "gif/gif_anim.h"
#include "gif/gif_dialog.h"

namespace vc {

std::string shortenBrowserCommand(std::string command) {
    if (size_t quote = command.find('"', 1); quote != std::string::npos) command.resize(quote + 1);
    else if (size_t blank = command.rfind(' '); blank != std::string::npos) command.resize(blank);
    return command;
}

int LaunchBrowserPreview(const std::string &command, const char *fileName, const GifAnimRecord &record) {
    std::string line = command;
    line += ' ';
    line += fileName;
    if (line.size() + 1 > kBrowserLineMax) return 0;
    return plat::startBrowser(line.c_str(), int32_t(record.screenWidth) + 200, int32_t(record.screenHeight) + 220)
               ? 1
               : 0;
}

int GifAnimationDialogModel::browserPreview() {
    char dir[260];
    if (browserCommand.empty() || !plat::tempDirectory(dir, sizeof dir)) return 0;
    // The browser sees the settings as they stand; the record being edited
    // keeps its own.
    GifAnimRecord copy;
    std::memcpy(&copy, record, sizeof copy);
    ComputeGifScreenSize(copy, copy.outputWidth, copy.outputHeight);
    GifAnimRecord *const edited = record;
    record = &copy;
    (void)StoreFrameSettings();
    StoreFileSettings();
    record = edited;
    char name[16];
    std::snprintf(name, sizeof name, "vmgif%04X.gif", unsigned(plat::tickCount() & 0xFFFF));
    browserFile = std::string(dir) + name;
    int started = 0;
    if (WriteGifAnimation(&copy, browserFile.c_str(), window, kGifSaveNoProgress, nullptr, callback) == Result::ok)
        started = LaunchBrowserPreview(browserCommand, browserFile.c_str(), copy);
    // Gone on every path, a failed write's partial file too.
    (void)plat::fileDelete(browserFile.c_str());
    return started;
}

}  // namespace vc
