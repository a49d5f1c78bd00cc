// AVI import and export (format code 165) over the companion library:
// the content test, the preview, the "AVI Import" dialog (template 103)
// with its "AVI Select Frames" stepping dialog (104), and the "AVI Export"
// dialog (105). The models hold every rule; the Win32 views draw and pass
// the user's actions on, a headless host works the models directly.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "controls/reel_model.h"
#include "common/editor_link.h"
#include "common/format_table.h"
#include "common/result.h"
#include "platform/owners.h"
#include "platform/platform.h"
#include "velmconv/dialogs.h"
#include "video/avi_library.h"

namespace vc {

enum : int {
    kAviImportTemplate = VC_IDD_AVI_IMPORT,
    kAviSelectTemplate = VC_IDD_AVI_SELECT,
    kAviExportTemplate = VC_IDD_AVI_EXPORT,
    // 103
    kAviImportReel = VC_IDC_AVI_REEL,
    kAviImportPalette = VC_IDC_AVIIMP_PALETTE,
    kAviImportStretch = VC_IDC_AVIIMP_STRETCH,
    kAviImportCount = VC_IDC_AVIIMP_COUNT,
    kAviImportSize = VC_IDC_AVIIMP_SIZE,
    kAviImportRate = VC_IDC_AVIIMP_RATE,
    kAviImportSelCount = VC_IDC_AVIIMP_SELCOUNT,
    kAviImportSelList = VC_IDC_AVIIMP_SELLIST,
    kAviImportSelect = VC_IDC_AVIIMP_SELECT,
    kAviImportToggle = VC_IDC_AVIIMP_TOGGLE,
    kAviImportDither = VC_IDC_AVIIMP_DITHER,
    // 104
    kAviSelectFrom = VC_IDC_AVISEL_FROM,
    kAviSelectNumber = VC_IDC_AVISEL_NUMBER,
    kAviSelectStep = VC_IDC_AVISEL_STEP,
    // 105
    kAviExportReel = VC_IDC_AVI_REEL,
    kAviExportRate = VC_IDC_AVIEXP_RATE,
    kAviExportRateSpin = VC_IDC_AVIEXP_RATE_SPIN,
    kAviExportCompress = VC_IDC_AVIEXP_COMPRESS,
    kAviExportWaveButton = VC_IDC_AVIEXP_WAVE_BUTTON,
    kAviExportWave = VC_IDC_AVIEXP_WAVE,
    kAviExportPosition = VC_IDC_AVIEXP_POSITION,
    kAviExportTotal = VC_IDC_AVIEXP_TOTAL,
    kAviExportDelay = VC_IDC_AVIEXP_DELAY,
    kAviExportDelaySpin = VC_IDC_AVIEXP_DELAY_SPIN,
    // 103 and 105
    kAviPrevious = VC_IDC_AVI_PREVIOUS,
    kAviNext = VC_IDC_AVI_NEXT,
    kAviFrameLabel = VC_IDC_AVI_FRAME,
};

// The strip shows at most this many frames: frame indices travel as signed
// 16-bit values in its cell records. Longer videos show their first 32760
// frames (the count static still gives the whole length); longer editor
// animations are exported up to that frame.
constexpr int32_t kAviStripLimit = 32760;
// Characters the selection list grows to before it stops adding numbers.
constexpr size_t kAviSelectionText = 120;
// The scroll code that ends a spin's stepping.
constexpr int kScrollEnd = 8;

bool DetectAviFile(HFile file);
Result GetAviPreview(const char *fileName, ConvImageRecord *record);
// The frame a preview shows: min(count div 2, 25).
constexpr uint32_t aviPreviewFrame(uint32_t count) { return count / 2 < 25 ? count / 2 : 25; }
Result LoadAviImage(const char *fileName, Wnd parent, uint32_t option, HostCallback callback);
Result SaveAviImage(const char *fileName, Wnd parent, uint32_t option, Wnd progress, MemHandle image,
                    HostCallback callback);
Result loadAviRow(const LoadRequest &request);
Result saveAviRow(const SaveRequest &request);

// A number as the dialogs read edits: optional blanks, an optional sign
// where signed, decimal digits; false when there are none or it overflows.
bool parseDialogNumber(const std::string &text, bool isSigned, int64_t &value);

// What "AVI Import" and "AVI Export" share: they end with the outcome the
// editor is told, a Result, beside the dialog's own number (1 when it ended
// with the outcome ok, 0 otherwise) that the dialog machinery passes on.
struct AviDialogModel : plat::DialogModel, ReelParent {
    // How the dialog ended: ok, cancelled, or what failed. Cancelled until
    // it has ended, and when it ended through the default Cancel.
    Result outcome() const { return outcome_; }

protected:
    void end(Result outcome) {
        outcome_ = outcome;
        plat::DialogModel::end(outcome == Result::ok ? kOk : 0);
    }

private:
    Result outcome_ = Result::cancelled;
};

// "AVI Select Frames": the strip's selection set from a start, a count and
// a step. The anchor is a frame Ctrl+clicked in the import dialog (0: none).
struct AviSelectFramesModel : plat::DialogModel {
    static constexpr int kTemplate = kAviSelectTemplate;
    int templateId() const override { return kTemplate; }
    AviSelectFramesModel(ReelModel &reel, int32_t anchor) : reel(reel), anchor(anchor) {}

    // Fills the fields; false (ended with 0) when 255 or more frames are
    // selected already and an anchor was given.
    bool start() override;
    std::string *textField(int id) override;
    // Checks the fields (focus and beep on the first bad one, staying
    // open), then replaces the selection.
    bool pressOk() override;

    ReelModel &reel;
    int32_t anchor;
    std::string fromText, numberText, stepText;  // 110, 111, 112
    int focus = 0;                               // the edit a refused OK put the focus on
};

struct AviImportModel : AviDialogModel {
    static constexpr int kTemplate = kAviImportTemplate;
    int templateId() const override { return kTemplate; }
    AviImportModel(const AviLibrary &library, VfwFile file, uint32_t option, HostCallback callback);

    // False, ended with Result::unsupported, when the companion cannot draw
    // frames.
    bool start() override;
    bool clicked(int id) override;
    bool enabled(int id) const override;
    void reelNotify(int reelId, int code, int32_t index) override;
    const ReelModel *reelFor(int reelId) const override { return reelId == reel.id() ? &reel : nullptr; }
    // The statics: frame count, size, rate, the selection's count and list,
    // the current frame's number.
    bool shownText(int id, std::string &text) const override;
    int isChecked(int id) const override;
    // Hands the selected frames to the editor and ends with Result::ok;
    // stays open without a selection.
    bool pressOk() override;

    // Opens "AVI Select Frames" over the strip; after OK the list is
    // brought up to date.
    void selectFrames(int32_t anchor);
    void updateSelection();
    void showFrameLabel() { frameLabel = std::to_string(reel.current() + 1); }
    uint32_t frameFlags() const;

    const AviLibrary &library;
    VfwFile file;
    uint32_t option;
    EditorLink editor;
    DrawAviFrameFn draw = nullptr;
    ReelModel reel{kAviImportReel, REELS_MULTISEL, this};
    uint32_t frameCount = 0;  // the video's whole length
    std::string countText, sizeText, rateText, selCountText, selText, frameLabel;
    bool palette = false, stretch = false, dither = false;
    bool paletteEnabled = true, stretchEnabled = false;
    // The width of a text in static 108 and the static's client width; a
    // view measures in the static's own device context.
    std::function<int32_t(const std::string &)> measure;
    int32_t selectionWidth;
    // The posted command of button 109 that a Ctrl+click on an unselected
    // frame makes: a view posts it; without one it runs at once.
    std::function<void(int32_t anchor)> postSelect;
};

// The export parameters: the output name and the editor's locked image
// block, which is also where the editor copies each frame.
struct AviExportParams {
    const char *fileName = nullptr;
    ConvBitmapInfoHeader *header = nullptr;
    uint8_t *bits = nullptr;
    uint32_t headerSize = 0;
    uint32_t imageSize = 0;
    Wnd progress = nullptr;
};

struct AviExportModel : AviDialogModel {
    static constexpr int kTemplate = kAviExportTemplate;
    int templateId() const override { return kTemplate; }
    AviExportModel(const AviLibrary &library, const AviExportParams &params, HostCallback callback);
    ~AviExportModel() override;
    AviExportModel(const AviExportModel &) = delete;
    AviExportModel &operator=(const AviExportModel &) = delete;

    // False, ended with Result::noMemory, when the delay table cannot be
    // had.
    bool start() override;
    bool clicked(int id) override;
    std::string *textField(int id) override;
    bool enabled(int id) const override { return id != kAviExportCompress || compressEnabled; }
    // Edit 101 is handed over when the focus leaves it: a rate from 1 to
    // 25 is taken, anything else beeps and becomes 12.
    void edited(int id) override;
    void scroll(int id, int code) override;
    void reelNotify(int reelId, int code, int32_t index) override;
    const ReelModel *reelFor(int reelId) const override { return reelId == reel.id() ? &reel : nullptr; }
    // The statics: the current frame's number, its position and the whole
    // length in seconds.
    bool shownText(int id, std::string &text) const override;
    // "Run export...": writes the frames and ends with ok, cancelled when
    // no frame was written (the file goes), or what failed.
    bool pressOk() override;
    // Ends with cancelled; the file the compression options made goes.
    void pressCancel() override;
    // WM_DESTROY: the output file closed. Runs once; the destructor too.
    void finish();

    // f >= 0 a frame, -1 none, -2 the strip's current frame.
    void showFrame(int32_t f);
    // The delay edit given to the current and selected frames; the
    // current frame, or -1 without one.
    int32_t applyDelay(bool clear);
    // The rate edit as a rate; 12 (written back) when outside 1 to 25.
    uint32_t rate();
    bool createFile();
    // Writes every frame whose delay is not 0, counting them in written;
    // ok, or what failed.
    Result writeFrames(int32_t &written);
    uint32_t delay(int32_t frame) const;
    // Frame ticks before frame f, and in the whole video.
    uint32_t ticksBefore(int32_t f) const;

    const AviLibrary &library;
    AviExportParams params;
    EditorLink editor;
    ReelModel reel{kAviExportReel, REELS_MULTISEL, this};
    VfwFile out = 0;
    int32_t count = 0;
    uint16_t width = 0, height = 0;
    void *palette = nullptr;  // the editor's, for drawing cells
    // One display length per frame in ticks of the rate. Frames past the
    // first 256 get entries of their own too: the table has one per strip
    // frame, at least 256.
    plat::Block delays;
    std::string rateText, delayText, waveText;  // 101, 131, 111
    std::string frameLabel, positionText = "0.0s", totalText = "0.0s";
    bool compressEnabled = false;
    int focus = 0;  // the edit the focus went back to
    bool finished = false;
};

}  // namespace vc
