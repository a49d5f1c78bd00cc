// Format names and the help texts of velmconv. The texts say what the
// manual page (host/velmconv.1) says, shorter.
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "host/cli.h"
#include "velmconv/velmconv.h"

namespace host {

namespace {

struct FormatName {
    const char *name;
    int code;
    const char *extension;
};
// The library's names for its codes first, then the usual other names.
constexpr FormatName kNames[] = {
    {"pcx", CONV_FMT_PCX, "pcx"},        {"gif", CONV_FMT_GIF, "gif"},       {"tiff", CONV_FMT_TIFF, "tif"},
    {"resource", CONV_FMT_RESOURCE, ""}, {"icon", CONV_FMT_ICON, "ico"},     {"jpeg", CONV_FMT_JPEG, "jpg"},
    {"avi", CONV_FMT_AVI, "avi"},        {"ani", CONV_FMT_ANI, "ani"},       {"anigif", CONV_FMT_ANIGIF, "gif"},
    {"bmp", kOwnBmp, "bmp"},             {"png", kOwnPng, "png"},            {"tif", CONV_FMT_TIFF, "tif"},
    {"ico", CONV_FMT_ICON, "ico"},       {"cur", CONV_FMT_ICON, "cur"},      {"jpg", CONV_FMT_JPEG, "jpg"},
    {"xcursor", kXcursor, "xcursor"},
};

std::string lower(std::string s) {
    for (char &c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Page {
    const char *command;
    const char *text;
};

constexpr const char *kOverview =
    "usage: velmconv COMMAND [options] ARGUMENTS\n"
    "\n"
    "Converts, inspects and previews pictures, icons, cursors and animations through the\n"
    "VelmConv library, playing the editor's part. The editor's own files are BMP and PNG.\n"
    "\n"
    "commands:\n"
    "  formats                    the formats and filter strings the library offers\n"
    "  detect FILE...             each file's format by name and by content\n"
    "  info [--json] FILE         load a file and describe what the editor received\n"
    "  convert IN OUT             load IN, save OUT (format from OUT's name or --format)\n"
    "  convert --to FORMAT[,...] [--out DIR] [-j N] FILE...   convert many files\n"
    "  icon --sizes 16,32,... [--depths 32,8,4] [--hotspot X,Y] IN... OUT.ico|OUT.cur\n"
    "                             one picture as an icon or cursor of several sizes\n"
    "  preview FILE OUT           the library's preview of FILE as a BMP or PNG file\n"
    "  extract FILE DIR|NAME.png  every frame the library hands over as a BMP or PNG file\n"
    "  play FILE DIR|NAME.png     play a GIF animation or X cursor, writing each canvas shown (Linux)\n"
    "  animate FILE [OUT]         work the animation dialog with --do actions, save OUT (Linux)\n"
    "  theme SCHEME-DIR OUT-DIR   a Windows cursor scheme as an X cursor theme (--to windows: back)\n"
    "  help [COMMAND]             this text, or a command's options and examples\n"
    "\n"
    "formats: a name or the library's code: pcx 128, gif 129, tiff 130, icon (ico, cur) 132,\n"
    "  jpeg 133, avi 165, ani 166, anigif 167; bmp and png are the editor's own; xcursor\n"
    "  (X cursor files, by name only) goes through the library's C API.\n"
    "\n"
    "options for every command: --no-parent, --quiet, --verbose, --option N; the dialogs'\n"
    "  answers: --cancel ID, --cursor-size, --cursor-format, --gif-import, --resource,\n"
    "  --resource-line, --avi-frames, --avi-rate, --avi-delays, --avi-sound, --avi-codec, --interactive\n"
    "  (velmconv help COMMAND lists them where they matter).\n"
    "\n"
    "exit codes: 0 done; 1 a file could not be read, converted or written (in a batch, any\n"
    "  of them), or nothing was done; 2 the command line is wrong (a value that cannot be\n"
    "  read names its option; one a dialog changes is used as it changes it, with a note).\n"
    "\n"
    "  velmconv help convert      the convert command with examples\n"
    "  velmconv --version         the version\n"
    "  man velmconv               the manual page\n";

constexpr const char *kDialogOptions =
    "  --cursor-size 16|32|64|keep   the answer to \"Select Cursor Format\": the size an icon\n"
    "                  or cursor is made at (default 32 x 32, reported in the result line)\n"
    "  --cursor-format SIZE[,COLORS[,noscale]]   the answer to \"Change Cursor Format\":\n"
    "                  SIZE 16, 32, 64 or WxH, COLORS 2, 16 or 256\n"
    "  --gif-import sequence[:WxH]|frame:N|assembled   the answer to the GIF import options,\n"
    "                  asked when a GIF's frames differ in size (default: a sequence)\n"
    "  --resource NAME the bitmap of a program file to load, by its name as info lists it\n"
    "                  (padded to 6 characters) or without the leading spaces\n"
    "  --resource-line N  that bitmap by its line in the list, from 1, as info numbers it\n"
    "  --avi-frames LIST  the frames \"AVI Import\" hands over, numbered from 1: 1-10,15 or all\n"
    "                  (default 1), or every:STEP[:FROM[:COUNT]] through \"AVI Select Frames\"\n"
    "  --avi-rate N    the frame rate \"AVI Export\" writes (1 to 25; default 12; above 25: 12)\n"
    "  --avi-delays LIST  each frame's display length in ticks of the rate (one for all, or one each;\n"
    "                  0 leaves the frame out, above 99: 99)\n"
    "  --avi-sound FILE   a WAVE file merged into the exported video as its sound\n"
    "  --avi-codec NAME   the compression options' answer: none (default), msvideo1, cinepak, mjpeg\n"
    "                  (Linux; the Windows host leaves the system's compressors alone)\n"
    "  --interactive   (Windows) the library's dialogs wait for the user instead of being\n"
    "                  answered from these options\n"
    "  --cancel ID     cancel the dialog with template ID (others are answered with Enter)\n"
    "  --option N      the option word passed to the load or save\n"
    "  --no-parent     no parent window (no progress window)\n"
    "  --quiet         no progress bar, result lines or play's timeline\n";

constexpr Page kPages[] = {
    {"formats",
     "usage: velmconv formats\n\n"
     "Lists the format codes, descriptions and filter strings the library gives for each set of\n"
     "flags it is asked with (1 open, 2 save, 4 animation, 129 and 130 with descriptions).\n\n"
     "example:\n  velmconv formats\n"},
    {"detect",
     "usage: velmconv detect FILE...\n\n"
     "Asks the library for each file's format by its name and by its content.\n"
     "Exit code 1 when a file cannot be opened.\n\n"
     "example:\n  velmconv detect picture.gif cursor.ani\n"},
    {"info",
     "usage: velmconv info [--json] [options] FILE\n\n"
     "Loads FILE as the editor would and describes what it received: the result, the format,\n"
     "every frame (size, depth, hotspot, mask), the transparent colour, the animation\n"
     "document (frames, steps, rates, title and author of an animated cursor; screen, loops\n"
     "and per-frame delays of an animated GIF) and the menu items the library added.\n\n"
     "An X cursor file is read through the library's C API: its nominal sizes with their\n"
     "frame counts, every image (nominal size, size, hotspot, delay in ms) and its comments.\n\n"
     "  --json          one JSON object for scripts, with the same facts\n\n"
     "examples:\n"
     "  velmconv info hourglass.ani\n"
     "  velmconv info /usr/share/icons/Adwaita/cursors/watch\n"
     "  velmconv info --json throbber.gif | python3 -m json.tool\n"},
    {"convert",
     "usage: velmconv convert [options] IN OUT\n"
     "       velmconv convert --to FORMAT[,FORMAT...] [--out DIR] [-j N] [options] FILE...\n\n"
     "Loads IN and saves OUT in the format its name says (.pcx .gif .tif .ico .cur .jpg .ani\n"
     ".avi .bmp .png), or the one --format gives. A GIF of several frames or with an\n"
     "animation document is saved animated. PNG and BMP pictures with alpha keep it as the\n"
     "editor's mask: alpha below 128 is transparent.\n\n"
     "With --to, every FILE is converted to each FORMAT through the library's C API, the\n"
     "output named after the input with the format's extension, beside it or in DIR. No dialog is asked: only --dither,\n"
     "--quiet, --no-parent and --every-frame go with --to. Animations keep their frames\n"
     "where the format holds several; an icon file's sizes stay together in an icon or\n"
     "cursor, and the other formats get the image it opens at; BMP and PNG outputs of\n"
     "several frames are numbered NAME_NNN.EXT. A summary line counts the conversions done\n"
     "and failed, with the reason for each failure; the exit code is 1 when any failed.\n"
     "The threads share one process: a file that crashes the library ends the whole batch.\n\n"
     "An X cursor (OUT.xcursor, --format xcursor or --to xcursor) is written through the C API\n"
     "from any file it reads: every image with its alpha (a mask as transparency), an animated\n"
     "cursor's steps each an image at its rate in ms, an icon file's sizes as nominal sizes.\n"
     "An X cursor converted to another format gives the images of its first nominal size.\n\n"
     "  --format FORMAT save with this format (a name or a code), whatever OUT's name\n"
     "  --to FORMAT[,FORMAT...]   convert every FILE to these formats (the names and codes of --format)\n"
     "  --out DIR       where the outputs go (default: beside each input)\n"
     "  -j N            N files at once, on N threads (default 1)\n"
     "  --every-frame   with a .bmp or .png output, every frame as NAME_NNN.EXT\n"
     "  --sizes N,N...  with --to ani: every frame at each size (1 to 256), the sizes of a frame\n"
     "                  in one icon, resampled by the library where the input lacks the size\n"
     "%s\n"
     "examples:\n"
     "  velmconv convert logo.png logo.ico\n"
     "  velmconv convert --to ani --sizes 32,48,64 hourglass.ani --out big/\n"
     "  velmconv convert --to ico,cur,ani,gif --out out logo.png\n"
     "  velmconv convert --cursor-size 64 logo.png logo.cur\n"
     "  velmconv convert throbber.gif throbber.ani\n"
     "  velmconv convert --to png --out pngs/ *.ico *.cur\n"
     "  velmconv convert --to gif -j 2 frames/*.bmp\n"
     "  velmconv convert --to xcursor --out theme/ hourglass.ani\n"},
    {"icon",
     "usage: velmconv icon --sizes N,N... [--depths 32,8,4] [--hotspot X,Y] [--dither] IN... OUT.ico|OUT.cur\n\n"
     "Writes one picture at several sizes (square, 1 to 256 pixels) into one icon or cursor\n"
     "file through the library's C API. Every picture of the inputs (PNG files with their\n"
     "alpha on Linux, and whatever the library reads: BMP, ICO, CUR, GIF, TIFF ...) counts:\n"
     "one of a size asked for is taken as it is; the other sizes are resampled from the\n"
     "largest (FFmpeg's area filter when shrinking, bilinear when enlarging, colours weighted\n"
     "by alpha; a picture that is not square is centred on a transparent square).\n"
     "Entries up to 128 pixels are 32-bit bitmaps with alpha and an AND mask set where alpha\n"
     "is 0; 256 is a PNG image. 8- and 4-bit entries for old systems are made by the host's\n"
     "colour reduction (alpha below 128 masked); sizes above 128 are written at 32 bits only,\n"
     "with a note. A line says every entry written and which sizes were resampled.\n\n"
     "  --sizes N,N...  the sizes, in the order of the file's directory (needed)\n"
     "  --depths D,D... 32, 8 and/or 4 bits for every size (default 32)\n"
     "  --hotspot X,Y   a cursor's hotspot in the largest picture's pixels, scaled to each size\n"
     "                  (default: that picture's own hotspot, else 0,0); .cur only\n"
     "  --dither        dither the 8- and 4-bit entries\n\n"
     "examples:\n"
     "  velmconv icon --sizes 16,24,32,48,64,256 logo.png logo.ico\n"
     "  velmconv icon --sizes 16,32,48 --depths 32,8,4 logo-16.png logo-48.png logo.ico\n"
     "  velmconv icon --sizes 32,48,64 --hotspot 3,2 arrow.png arrow.cur\n"},
    {"preview",
     "usage: velmconv preview FILE OUT.bmp|OUT.png\n\n"
     "Writes the preview the library gives the file dialog for FILE.\n\n"
     "example:\n  velmconv preview hourglass.ani hourglass.png\n"},
    {"extract",
     "usage: velmconv extract [options] FILE DIR|NAME.bmp|NAME.png\n\n"
     "Writes every frame the library hands over: DIR/frame_NNN.bmp, or NAME_NNN.bmp or\n"
     "NAME_NNN.png when a name is given. An X cursor's images are written as PNG with their\n"
     "alpha (DIR/frame_NNN.png, NAME_NNN.png).\n"
     "%s\n"
     "examples:\n"
     "  velmconv extract throbber.gif frames/\n"
     "  velmconv extract hourglass.ani out/hourglass.png\n"},
    {"play",
     "usage: velmconv play [options] FILE DIR|NAME.bmp|NAME.png\n\n"
     "Plays a GIF animation as the preview window does and writes each canvas shown\n"
     "(DIR/canvas_NNN.bmp or NAME_NNN.EXT) with a timeline on standard output (Linux).\n"
     "An X cursor plays the images of its first nominal size at their delays, over white.\n\n"
     "  --max-canvases N   canvases to write (default: one pass through the frames)\n"
     "  --browser CMD   the browser preview's command (default xdg-open; '' for none)\n\n"
     "example:\n  velmconv play throbber.gif out/throbber.png\n"},
    {"animate",
     "usage: velmconv animate [options] FILE [OUT]\n\n"
     "Opens the animation dialog of FILE's document as the editor's menu command does, works\n"
     "it with the --do actions in order, then saves OUT (Linux).\n\n"
     "  --do ACTION     click:ID, text:ID=TEXT, select:ID=N, scroll:ID=CODE,\n"
     "                  reel:ID=CODE,FRAME, keys:shift+ctrl+alt+enter|none, ok, cancel\n"
     "                  (without ok or cancel the dialog is answered with Enter)\n"
     "  --dither        the editor prefers dithering\n"
     "  --refuse-documents  the editor refuses animation documents\n"
     "  --sound FILE    the file the editor's file dialog picks\n\n"
     "example:\n  velmconv animate b.gif out.gif --do reel:111=1,1 --do text:113=50 --do ok\n"},
    {"theme",
     "usage: velmconv theme [--inherits NAME] WINDOWS-SCHEME-DIR OUT-DIR\n"
     "       velmconv theme --to windows X-THEME-DIR OUT-DIR\n\n"
     "Makes a Windows cursor scheme (a folder of CUR and ANI files, with or without its\n"
     "install.inf) into an X cursor theme: OUT-DIR/cursors/NAME for each role, its other X\n"
     "names linked to it, and OUT-DIR/index.theme named after the scheme. Every size a file\n"
     "holds is kept; animated cursors keep their steps, each rate in milliseconds.\n"
     "With --to windows, an X cursor theme (index.theme and cursors/) becomes a scheme:\n"
     "a CUR file (one entry per size) or an ANI file (multi-size frames) per role, and an\n"
     "install.inf that installs it (right-click, Install). Sizes above 256 are left out.\n"
     "A role without a cursor is said on standard error and never made up.\n\n"
     "  --to windows|x  the direction (default x: scheme to theme)\n"
     "  --inherits NAME the theme index.theme falls back on (default: what the scheme's\n"
     "                  install.inf kept of an X theme, else \"default\"; '' for none)\n"
     "  --quiet         no line per role\n\n"
     "roles and their X names (the first names the file, the others are links):\n"
     "  Arrow        left_ptr default arrow top_left_arrow\n"
     "  Help         help question_arrow whats_this left_ptr_help\n"
     "  AppStarting  left_ptr_watch progress half-busy\n"
     "  Wait         watch wait\n"
     "  Crosshair    crosshair cross tcross\n"
     "  IBeam        xterm text ibeam\n"
     "  NWPen        pencil draft\n"
     "  No           not-allowed forbidden circle crossed_circle\n"
     "  SizeNS       size_ver ns-resize sb_v_double_arrow v_double_arrow\n"
     "  SizeWE       size_hor ew-resize sb_h_double_arrow h_double_arrow\n"
     "  SizeNWSE     size_fdiag nwse-resize fd_double_arrow\n"
     "  SizeNESW     size_bdiag nesw-resize bd_double_arrow\n"
     "  SizeAll      fleur move all-scroll size_all\n"
     "  UpArrow      up-arrow center_ptr sb_up_arrow\n"
     "  Hand         hand2 pointer hand1 hand pointing_hand\n"
     "  Pin          pin              Person       person\n"
     "  (and the hash names toolkits ask for; see the manual page)\n\n"
     "exit codes: 0 every role written; 3 written, but one of the fifteen roles before Pin\n"
     "  and Person had no cursor; 1 nothing written, or a file could not be written.\n\n"
     "examples:\n"
     "  velmconv theme ~/Downloads/MyScheme ~/.icons/MyScheme\n"
     "  velmconv theme --to windows /usr/share/icons/DMZ-White out/DMZ-White\n"},
    {"help",
     "usage: velmconv help [COMMAND]\n\n"
     "The overview, or one command's options and examples (also: velmconv COMMAND --help).\n"},
};

}  // namespace

std::optional<int> parseFormat(const std::string &text) {
    // Program resources are read, never written: not a name to save with.
    if (!text.empty() && std::strspn(text.c_str(), "0123456789") == text.size()) {
        const long code = std::strtol(text.c_str(), nullptr, 10);
        for (const FormatName &n : kNames)
            if (n.code == code && code != CONV_FMT_RESOURCE) return int(code);
        return std::nullopt;
    }
    const std::string name = lower(text);
    for (const FormatName &n : kNames)
        if (name == n.name && n.code != CONV_FMT_RESOURCE) return n.code;
    return std::nullopt;
}

std::string extensionFor(const std::string &formatText, int code) {
    const std::string name = lower(formatText);
    for (const FormatName &n : kNames)
        if (name == n.name) return n.extension;
    for (const FormatName &n : kNames)
        if (n.code == code) return n.extension;
    return {};
}

std::string formatNames() {
    std::string out;
    for (const FormatName &n : kNames) {
        if (n.code == CONV_FMT_RESOURCE) continue;
        if (!out.empty()) out += ", ";
        out += n.name;
    }
    return out + " or a code";
}

std::optional<long> wholeNumber(const std::string &text) {
    long value = 0;
    const char *end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end) return std::nullopt;
    return value;
}

bool printHelp(std::FILE *to, const std::string &command) {
    if (command.empty()) {
        std::fputs(kOverview, to);
        return true;
    }
    for (const Page &p : kPages)
        if (command == p.command) {
            std::fprintf(to, p.text, kDialogOptions);
            return true;
        }
    return false;
}

}  // namespace host
