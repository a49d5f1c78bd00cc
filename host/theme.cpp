#include "host/theme.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "host/api_convert.h"
#include "host/theme_inf.h"
#include "velmconv/api.h"

namespace host::theme {

namespace fs = std::filesystem;

namespace {

// A still cursor's delay in an X cursor theme: what the X tools give an
// image whose delay nobody set.
constexpr uint32_t kStillDelayMs = 50;
// The largest side a cursor file's entry holds.
constexpr int32_t kLargestEntry = 256;
// Pixels of all the images one X cursor file is made of: a hostile
// animated cursor naming its largest frame in every one of thousands of
// steps would otherwise ask for gigabytes. Adwaita's busy cursor, sixty
// frames of five sizes, has about a million.
constexpr uint64_t kMostPixels = uint64_t(1) << 26;
// Text files read whole: install.inf and index.theme.
constexpr std::streamoff kLargestText = std::streamoff(kInfLargestFile);

std::string nameOf(const fs::path &p) { return p.filename().string(); }

// A folder's own name, also when it is given as "dir/" or ".".
std::string folderName(const fs::path &p) {
    const fs::path full = fs::absolute(p).lexically_normal();
    return nameOf(full.has_filename() ? full : full.parent_path());
}

std::optional<std::string> readText(const fs::path &path, std::string &why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot be opened";
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kLargestText) {
        why = size < 0 ? "cannot be read" : "larger than " + std::to_string(kLargestText) + " bytes";
        return std::nullopt;
    }
    in.seekg(0);
    std::string text(size_t(size), '\0');
    if (!in.read(text.data(), size)) {
        why = "cannot be read";
        return std::nullopt;
    }
    return text;
}

uint32_t largerSide(const vc_picture *p) { return uint32_t(std::max(vc_picture_width(p), vc_picture_height(p))); }

// Pixels where the mask shows the screen and the colour is not black:
// Windows inverts the screen there, an X cursor cannot.
// Hotspots outside their picture, which X cursor files cannot hold, are
// moved to its nearest edge and counted too.
struct Inverting {
    size_t black = 0;        // of 1-bit pictures: drawn opaque black
    size_t transparent = 0;  // of deeper ones: left transparent
    size_t hotspotsMoved = 0;
};

// A picture as 32 bits with straight alpha: colours through the palette,
// the mask as alpha 0 where it shows the screen. A 32-bit picture whose
// alpha is 0 everywhere (a cursor of the days before alpha) takes its
// alpha from the mask too. A screen-inverting pixel of a black-and-white
// cursor (the old text cursors are drawn with them) becomes opaque black;
// in a picture of colours it is almost always the colour a writer left
// under the mask, and it stays transparent.
PicturePtr straight32(vc_picture *p, Inverting &inverted) {
    const int32_t w = vc_picture_width(p), h = vc_picture_height(p);
    const int depth = vc_picture_depth(p);
    PicturePtr out(vc_picture_new(w, h, 32));
    if (!out) return nullptr;
    int32_t hx = 0, hy = 0;
    if (vc_picture_hotspot(p, &hx, &hy)) {
        const int32_t x = std::clamp(hx, 0, std::max(0, w - 1)), y = std::clamp(hy, 0, std::max(0, h - 1));
        inverted.hotspotsMoved += x != hx || y != hy ? 1 : 0;
        vc_picture_set_hotspot(out.get(), x, y);
    }
    bool anyAlpha = false;
    if (depth == 32)
        for (int32_t y = 0; y < h && !anyAlpha; ++y)
            for (int32_t x = 0; x < w && !anyAlpha; ++x) anyAlpha = vc_picture_row_const(p, y)[x * 4 + 3] != 0;
    const bool masked = vc_picture_has_mask(p);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t *row = vc_picture_row_const(p, y);
        const uint8_t *mask = masked ? vc_picture_mask_row(p, y) : nullptr;
        uint8_t *o = vc_picture_row(out.get(), y);
        for (int32_t x = 0; x < w; ++x, o += 4) {
            uint32_t bgr = 0;
            uint8_t alpha = 255;
            if (depth == 32 || depth == 24) {
                const uint8_t *q = row + x * (depth / 8);
                bgr = uint32_t(q[0] | q[1] << 8 | q[2] << 16);
                if (depth == 32 && anyAlpha) alpha = q[3];
            } else {
                const int perByte = 8 / depth;
                const int shift = (perByte - 1 - x % perByte) * depth;
                const uint32_t index = uint32_t(row[x / perByte] >> shift) & ((1u << depth) - 1);
                const uint32_t rgb = vc_picture_palette_color(p, index);
                bgr = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
            }
            if (mask && !anyAlpha && (mask[x >> 3] & (0x80 >> (x & 7)))) {
                if (bgr && depth == 1) ++inverted.black, alpha = 255;
                else inverted.transparent += bgr ? 1 : 0, alpha = 0;
                bgr = 0;
            }
            if (alpha == 0) bgr = 0;
            o[0] = uint8_t(bgr), o[1] = uint8_t(bgr >> 8), o[2] = uint8_t(bgr >> 16), o[3] = alpha;
        }
    }
    return out;
}

bool samePicture(const vc_picture *a, const vc_picture *b) {
    const int32_t w = vc_picture_width(a), h = vc_picture_height(a);
    int32_t ax = 0, ay = 0, bx = 0, by = 0;
    vc_picture_hotspot(a, &ax, &ay);
    vc_picture_hotspot(b, &bx, &by);
    if (w != vc_picture_width(b) || h != vc_picture_height(b) || ax != bx || ay != by ||
        vc_picture_depth(a) != 32 || vc_picture_depth(b) != 32)
        return false;
    for (int32_t y = 0; y < h; ++y)
        if (std::memcmp(vc_picture_row_const(a, y), vc_picture_row_const(b, y), size_t(w) * 4) != 0) return false;
    return true;
}

std::string sizeList(const std::vector<uint32_t> &sizes) {
    std::string out;
    for (uint32_t s : sizes) {
        if (!out.empty()) out += ", ";
        out += std::to_string(s);
    }
    return out;
}

// A new frame: a copy of the picture, with its size and delay as an X
// cursor image.
bool addImage(vc_animation *to, const vc_picture *picture, uint32_t nominal, uint32_t ms) {
    if (vc_animation_add_frame(to, picture) != VC_OK) return false;
    const uint32_t i = vc_animation_frame_count(to) - 1;
    vc_frame_set_nominal_size(to, i, nominal);
    vc_frame_set_delay_ms(to, i, ms);
    return true;
}

// An existing link in the way of a file about to be written is removed, so
// that the writing does not go through it to the file it names.
void clearWay(const fs::path &path) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error))) fs::remove(path, error);
}

// What became of one role.
struct RoleResult {
    bool written = false;
    std::string line;  // for standard output, or why not
};

// ---- Scheme to theme ----------------------------------------------------------

struct SchemeFolder {
    Scheme scheme;
    std::map<std::string, fs::path> files;  // by lower-case name: the folder's regular files
    std::string infName;                    // "" when the folder has none
};

std::optional<SchemeFolder> openScheme(const fs::path &dir, std::string &why) {
    SchemeFolder f;
    std::error_code error;
    std::vector<fs::path> infs;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        const std::string lower = lowerAscii(nameOf(it->path()));
        f.files.emplace(lower, it->path());
        if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".inf") == 0) infs.push_back(it->path());
    }
    if (error) {
        why = "cannot be listed (" + error.message() + ")";
        return std::nullopt;
    }
    std::sort(infs.begin(), infs.end());
    auto install = std::find_if(infs.begin(), infs.end(), [](const fs::path &p) { return lowerAscii(nameOf(p)) == "install.inf"; });
    if (install == infs.end() && !infs.empty()) install = infs.begin();
    if (install != infs.end()) {
        f.infName = nameOf(*install);
        std::string reason;
        const std::optional<std::string> text = readText(*install, reason);
        std::optional<Scheme> scheme = text ? readInstallInf(*text, reason) : std::nullopt;
        if (!scheme) {
            why = f.infName + ": " + reason;
            return std::nullopt;
        }
        f.scheme = std::move(*scheme);
        return f;
    }
    // No install.inf: each cursor file for the role its name says; where
    // two files say the same role, the shorter name (then the first in
    // order) takes it.
    for (const auto &[lower, path] : f.files) {
        const std::string ext = fs::path(lower).extension().string();
        if (ext != ".cur" && ext != ".ani" && ext != ".ico") continue;
        const size_t role = guessRole(nameOf(path));
        if (role == kRoleCount) {
            f.scheme.skipped.push_back(nameOf(path) + ": its name says no role, left out");
            continue;
        }
        std::string &taken = f.scheme.files[role];
        if (!taken.empty() && taken.size() <= nameOf(path).size()) {
            f.scheme.skipped.push_back(nameOf(path) + ": " + roles()[role].windows + " is " + taken + " already, left out");
            continue;
        }
        if (!taken.empty()) f.scheme.skipped.push_back(taken + ": " + roles()[role].windows + " is " + nameOf(path) + ", left out");
        taken = nameOf(path);
    }
    return f;
}

// One scheme file as an X cursor file.
RoleResult cursorToX(const fs::path &file, const XFileNote *note, const fs::path &target) {
    RoleResult r;
    const vc_format format = vc_detect_path(file.string().c_str());
    if (format != VC_FORMAT_CUR && format != VC_FORMAT_ANI && format != VC_FORMAT_ICO) {
        r.line = nameOf(file) + " is not a cursor file (" + vc_format_name(format) + ")";
        return r;
    }
    vc_options options;
    vc_options_init(&options);
    options.flags = VC_READ_EVERY_SIZE;
    vc_animation *read = nullptr;
    if (const vc_status status = vc_read_path(file.string().c_str(), format, &options, &read); status != VC_OK) {
        r.line = nameOf(file) + ": " + vc_status_message(status);
        return r;
    }
    AnimationPtr in(read);
    const uint32_t count = vc_animation_frame_count(in.get());
    if (count == 0) {
        r.line = nameOf(file) + " holds no image";
        return r;
    }
    // The frames by animation frame (group), and the steps through them.
    std::map<uint32_t, std::vector<uint32_t>> groups;
    if (format == VC_FORMAT_ANI)
        for (uint32_t i = 0; i < count; ++i) groups[vc_frame_group(in.get(), i)].push_back(i);
    else
        for (uint32_t i = 0; i < count; ++i) groups[0].push_back(i);
    // Entries of one size at several depths (for screens of few colours)
    // are one image to X: the deepest stays, the first of them on a tie.
    size_t shallower = 0;
    for (auto &[group, entries] : groups) {
        std::vector<uint32_t> kept;
        for (uint32_t i : entries) {
            vc_picture *p = vc_animation_frame(in.get(), i);
            auto same = std::find_if(kept.begin(), kept.end(), [&](uint32_t k) {
                const vc_picture *q = vc_animation_frame_const(in.get(), k);
                return vc_picture_width(p) == vc_picture_width(q) && vc_picture_height(p) == vc_picture_height(q);
            });
            if (same == kept.end()) kept.push_back(i);
            else if (++shallower; vc_picture_depth(p) > vc_picture_depth(vc_animation_frame_const(in.get(), *same))) *same = i;
        }
        entries = std::move(kept);
    }
    // The entries kept, as 32-bit pictures.
    std::vector<PicturePtr> pictures(count);
    Inverting inverted;
    for (const auto &[group, entries] : groups)
        for (uint32_t i : entries)
            if (!(pictures[i] = straight32(vc_animation_frame(in.get(), i), inverted))) {
                r.line = nameOf(file) + ": " + vc_status_message(VC_E_MEMORY);
                return r;
            }
    std::vector<std::pair<uint32_t, uint32_t>> steps;  // group, ms
    const uint32_t stepCount = format == VC_FORMAT_ANI ? vc_animation_step_count(in.get()) : 0;
    const auto ms = [](uint32_t jiffies) { return uint32_t((uint64_t(jiffies) * 1000 + 30) / 60); };
    for (uint32_t s = 0; s < stepCount; ++s) {
        uint32_t group = 0, jiffies = 0;
        vc_animation_step(in.get(), s, &group, &jiffies);
        if (!groups.count(group)) {
            r.line = nameOf(file) + ": step " + std::to_string(s) + " names frame " + std::to_string(group) + ", which it lacks";
            return r;
        }
        steps.push_back({group, ms(jiffies)});
    }
    if (format == VC_FORMAT_ANI && steps.empty())
        for (const auto &g : groups) steps.push_back({g.first, ms(vc_animation_default_rate(in.get()))});
    const bool animated = format == VC_FORMAT_ANI;
    if (!animated) steps.push_back({0, kStillDelayMs});
    if (note && note->delays.size() == steps.size())
        for (size_t s = 0; s < steps.size(); ++s) steps[s].second = note->delays[s];
    // The sizes: each position in a frame's entries, when every frame has
    // as many; else each frame's largest entry alone.
    size_t positions = groups.begin()->second.size();
    bool even = true;
    for (const auto &g : groups) even = even && g.second.size() == positions;
    if (!even) positions = 1;
    const auto entry = [&](uint32_t group, size_t position) -> uint32_t {
        const std::vector<uint32_t> &g = groups[group];
        if (even) return g[position];
        return *std::max_element(g.begin(), g.end(), [&](uint32_t a, uint32_t b) {
            return largerSide(pictures[a].get()) < largerSide(pictures[b].get());
        });
    };
    uint64_t pixels = 0;
    for (size_t p = 0; p < positions; ++p)
        for (const auto &step : steps) {
            const vc_picture *picture = pictures[entry(step.first, p)].get();
            pixels += uint64_t(vc_picture_width(picture)) * uint64_t(vc_picture_height(picture));
        }
    if (pixels > kMostPixels) {
        r.line = nameOf(file) + ": its steps would make images of " + std::to_string(pixels) + " pixels in all, more than " +
                 std::to_string(kMostPixels);
        return r;
    }
    AnimationPtr out(vc_animation_new());
    std::vector<uint32_t> sizes;
    for (size_t p = 0; p < positions; ++p) {
        const uint32_t first = entry(steps[0].first, p);
        const uint32_t nominal = note && note->sizes.size() == positions ? note->sizes[p] : largerSide(pictures[first].get());
        sizes.push_back(nominal);
        for (const auto &[group, delay] : steps)
            if (!addImage(out.get(), pictures[entry(group, p)].get(), nominal, delay)) {
                r.line = nameOf(file) + ": " + vc_status_message(VC_E_MEMORY);
                return r;
            }
    }
    clearWay(target);
    if (const vc_status status = vc_write_path(out.get(), VC_FORMAT_XCURSOR, nullptr, target.string().c_str());
        status != VC_OK) {
        r.line = "writing " + target.string() + ": " + vc_status_message(status);
        return r;
    }
    r.written = true;
    r.line = nameOf(file) + " -> cursors/" + nameOf(target) + ": " + std::to_string(sizes.size()) +
             (sizes.size() == 1 ? " size (" : " sizes (") + sizeList(sizes) + ")";
    if (animated) r.line += ", " + std::to_string(steps.size()) + " steps";
    if (!even) r.line += ", only each frame's largest image (the frames hold different numbers of sizes)";
    if (shallower) r.line += ", " + std::to_string(shallower) + " entries of a size held at a greater depth too left out";
    if (inverted.hotspotsMoved)
        r.line += ", " + std::to_string(inverted.hotspotsMoved) + " hotspots outside their picture moved to its edge";
    if (inverted.black) r.line += ", " + std::to_string(inverted.black) + " screen-inverting pixels drawn black";
    if (inverted.transparent)
        r.line += ", " + std::to_string(inverted.transparent) + " screen-inverting pixels of colour left transparent";
    return r;
}

// The role's other X names as links to its file (copies where links are
// refused).
std::string linkAliases(const fs::path &dir, const Role &role) {
    std::string made;
    bool copied = false;
    for (size_t i = 1; i < role.x.size(); ++i) {
        const fs::path alias = dir / role.x[i];
        std::error_code error;
        fs::remove(alias, error);
        fs::create_symlink(role.x[0], alias, error);
        if (error) {
            fs::copy_file(dir / role.x[0], alias, fs::copy_options::overwrite_existing, error);
            copied = true;
        }
        if (!error) made += std::string(made.empty() ? "" : " ") + role.x[i];
    }
    return made.empty() ? "" : (copied ? "; copies: " : "; links: ") + made;
}

std::string indexLine(const char *key, std::string value) {
    std::replace(value.begin(), value.end(), '\n', ' ');
    std::replace(value.begin(), value.end(), '\r', ' ');
    return std::string(key) + "=" + value + "\n";
}

int schemeToTheme(const fs::path &in, const fs::path &out, const Options &o) {
    std::string why;
    std::optional<SchemeFolder> folder = openScheme(in, why);
    if (!folder) {
        std::fprintf(stderr, "velmconv: theme: %s: %s\n", in.string().c_str(), why.c_str());
        return 1;
    }
    const Scheme &scheme = folder->scheme;
    const std::string source = folder->infName.empty() ? "file names" : folder->infName;
    for (const std::string &line : scheme.skipped)
        std::fprintf(stderr, "velmconv: note: %s: %s\n", folder->infName.empty() ? in.string().c_str() : folder->infName.c_str(),
                     line.c_str());
    const fs::path cursors = out / "cursors";
    std::error_code error;
    fs::create_directories(cursors, error);
    if (error) {
        std::fprintf(stderr, "velmconv: theme: cannot make %s: %s\n", cursors.string().c_str(), error.message().c_str());
        return 1;
    }
    size_t written = 0, missingExpected = 0;
    bool failedWrite = false;
    for (size_t i = 0; i < kRoleCount; ++i) {
        const Role &role = roles()[i];
        const std::string label = std::string(role.windows) + " (" + role.title + ")";
        const std::string &fileName = scheme.files[i];
        RoleResult r;
        if (fileName.empty()) {
            r.line = "no file in the scheme (by its " + source + ")";
        } else if (auto f = folder->files.find(lowerAscii(fileName)); f == folder->files.end()) {
            r.line = "the scheme names " + fileName + ", which is not in " + in.string();
        } else {
            auto n = scheme.notes.find(lowerAscii(fileName));
            r = cursorToX(f->second, n == scheme.notes.end() ? nullptr : &n->second, cursors / role.x[0]);
            if (!r.written && r.line.rfind("writing ", 0) == 0) failedWrite = true;
        }
        if (r.written) {
            ++written;
            r.line += linkAliases(cursors, role);
            if (!o.quiet) std::printf("%s: %s\n", label.c_str(), r.line.c_str());
        } else if (i < kExpectedRoles) {
            ++missingExpected;
            std::fprintf(stderr, "velmconv: theme: %s: %s; no cursor made for it\n", label.c_str(), r.line.c_str());
        } else if (!o.quiet) {
            std::printf("%s: %s (a role most schemes leave out)\n", label.c_str(), r.line.c_str());
        }
    }
    if (written == 0) {
        fs::remove(cursors, error);  // only when empty: nothing of another run is lost
        std::fprintf(stderr, "velmconv: theme: no cursor of %s could be made\n", in.string().c_str());
        return 1;
    }
    std::string name = scheme.name.empty() ? folderName(in) : scheme.name;
    if (name.empty()) name = "Cursors";
    std::string index = "[Icon Theme]\n" + indexLine("Name", name);
    index += indexLine("Comment", !scheme.comment.empty() ? scheme.comment : "The Windows cursor scheme " + name + ", made into an X cursor theme by velmconv");
    // What the theme the scheme came from inherited (nothing, if so), else
    // the user's default theme.
    const std::string inherits = o.inheritsGiven ? o.inherits : scheme.inherits.value_or("default");
    if (!inherits.empty()) index += indexLine("Inherits", inherits);
    const fs::path indexPath = out / "index.theme";
    clearWay(indexPath);
    std::ofstream file(indexPath, std::ios::binary | std::ios::trunc);
    file << index;
    file.close();
    if (!file) {
        std::fprintf(stderr, "velmconv: theme: cannot write %s\n", indexPath.string().c_str());
        return 1;
    }
    if (!o.quiet)
        std::printf("%zu of %zu roles written to %s (theme \"%s\")\n", written, kRoleCount, out.string().c_str(), name.c_str());
    if (failedWrite) return 1;
    return missingExpected ? kExitRolesMissing : 0;
}

// ---- Theme to scheme ----------------------------------------------------------

struct IndexTheme {
    std::string name, comment, inherits;
};

IndexTheme readIndexTheme(const fs::path &path) {
    IndexTheme t;
    std::string why;
    const std::optional<std::string> text = readText(path, why);
    if (!text) return t;
    std::istringstream lines(*text);
    std::string line, section;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            section = line.substr(0, line.find(']') + 1);
            continue;
        }
        const size_t eq = line.find('=');
        if (section != "[Icon Theme]" || eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        while (!value.empty() && value.front() == ' ') value.erase(value.begin());
        if (key == "Name" && t.name.empty()) t.name = value;
        else if (key == "Comment" && t.comment.empty()) t.comment = value;
        else if (key == "Inherits" && t.inherits.empty()) t.inherits = value;
    }
    return t;
}

uint32_t jiffiesOf(uint32_t ms) { return std::max<uint32_t>(1, uint32_t((uint64_t(ms) * 60 + 500) / 1000)); }

// One X cursor file as a CUR (one image of each size) or an ANI file.
RoleResult xToCursor(const fs::path &file, const fs::path &outDir, const std::string &stem, std::string &written,
                     XFileNote &note) {
    RoleResult r;
    vc_animation *read = nullptr;
    if (const vc_status status = vc_read_path(file.string().c_str(), VC_FORMAT_XCURSOR, nullptr, &read); status != VC_OK) {
        r.line = nameOf(file) + ": " + vc_status_message(status);
        return r;
    }
    AnimationPtr in(read);
    // The images by nominal size, sizes in the order they first come.
    std::vector<uint32_t> sizes;
    std::map<uint32_t, std::vector<uint32_t>> bySize;
    std::vector<uint32_t> tooLarge;
    for (uint32_t i = 0; i < vc_animation_frame_count(in.get()); ++i) {
        const vc_picture *p = vc_animation_frame_const(in.get(), i);
        uint32_t nominal = vc_frame_nominal_size(in.get(), i);
        if (!nominal) nominal = largerSide(p);
        if (vc_picture_width(p) > kLargestEntry || vc_picture_height(p) > kLargestEntry) {
            if (std::find(tooLarge.begin(), tooLarge.end(), nominal) == tooLarge.end()) tooLarge.push_back(nominal);
            continue;
        }
        if (!bySize.count(nominal)) sizes.push_back(nominal);
        bySize[nominal].push_back(i);
    }
    if (sizes.empty()) {
        r.line = nameOf(file) + ": no image of at most 256 x 256 pixels, the most a cursor file holds";
        return r;
    }
    size_t frames = 0;
    for (uint32_t s : sizes) frames = std::max(frames, bySize[s].size());
    std::vector<uint32_t> uneven;
    std::erase_if(sizes, [&](uint32_t s) {
        if (bySize[s].size() == frames) return false;
        uneven.push_back(s);
        return true;
    });
    const std::vector<uint32_t> &first = bySize[sizes[0]];
    note.sizes = sizes;
    note.delays.clear();
    bool delaysDiffer = false;
    for (size_t k = 0; k < frames; ++k) {
        note.delays.push_back(vc_frame_delay_ms(in.get(), first[k]));
        for (uint32_t s : sizes) delaysDiffer = delaysDiffer || vc_frame_delay_ms(in.get(), bySize[s][k]) != note.delays[k];
    }
    AnimationPtr out(vc_animation_new());
    const bool animated = frames > 1;
    std::vector<uint32_t> sequence, rates;
    std::vector<size_t> stored;  // the frame position each stored frame came from
    for (size_t k = 0; k < frames; ++k) {
        size_t same = stored.size();
        for (size_t u = 0; u < stored.size() && same == stored.size(); ++u) {
            bool equal = true;
            for (uint32_t s : sizes)
                equal = equal && samePicture(vc_animation_frame_const(in.get(), bySize[s][stored[u]]),
                                             vc_animation_frame_const(in.get(), bySize[s][k]));
            if (equal) same = u;
        }
        sequence.push_back(uint32_t(same));
        rates.push_back(jiffiesOf(note.delays[k]));
        if (same < stored.size()) continue;
        stored.push_back(k);
        for (uint32_t s : sizes) {
            if (vc_animation_add_frame(out.get(), vc_animation_frame_const(in.get(), bySize[s][k])) != VC_OK) {
                r.line = nameOf(file) + ": " + vc_status_message(VC_E_MEMORY);
                return r;
            }
            vc_frame_set_group(out.get(), vc_animation_frame_count(out.get()) - 1, uint32_t(same));
        }
    }
    if (animated) {
        vc_animation_set_default_rate(out.get(), rates[0]);
        if (vc_animation_set_steps(out.get(), sequence.data(), rates.data(), uint32_t(sequence.size())) != VC_OK) {
            r.line = nameOf(file) + ": " + vc_status_message(VC_E_MEMORY);
            return r;
        }
        vc_animation_set_title(out.get(), nameOf(file).c_str());
    }
    written = stem + (animated ? ".ani" : ".cur");
    const fs::path target = outDir / written;
    clearWay(target);
    if (const vc_status status = vc_write_path(out.get(), animated ? VC_FORMAT_ANI : VC_FORMAT_CUR, nullptr,
                                               target.string().c_str());
        status != VC_OK) {
        r.line = "writing " + target.string() + ": " + vc_status_message(status);
        return r;
    }
    r.written = true;
    r.line = "cursors/" + nameOf(file) + " -> " + written + ": " + std::to_string(sizes.size()) +
             (sizes.size() == 1 ? " size (" : " sizes (") + sizeList(sizes) + ")";
    if (animated)
        r.line += ", " + std::to_string(frames) + " steps over " + std::to_string(stored.size()) + " frames";
    if (!tooLarge.empty()) r.line += ", left out above 256 pixels: " + sizeList(tooLarge);
    if (!uneven.empty()) r.line += ", left out with a different number of frames: " + sizeList(uneven);
    if (delaysDiffer) r.line += ", the delays of size " + std::to_string(sizes[0]) + " kept for every size";
    return r;
}

int themeToScheme(const fs::path &in, const fs::path &out, const Options &o) {
    std::error_code error;
    fs::path cursors = in / "cursors";
    if (!fs::is_directory(cursors, error)) {
        std::fprintf(stderr, "velmconv: theme: %s has no cursors folder: not an X cursor theme\n", in.string().c_str());
        return 1;
    }
    const IndexTheme index = readIndexTheme(in / "index.theme");
    fs::create_directories(out, error);
    if (error) {
        std::fprintf(stderr, "velmconv: theme: cannot make %s: %s\n", out.string().c_str(), error.message().c_str());
        return 1;
    }
    Scheme scheme;
    scheme.name = index.name.empty() ? folderName(in) : index.name;
    if (scheme.name.empty()) scheme.name = "Cursors";
    scheme.comment = index.comment;
    scheme.inherits = o.inheritsGiven ? o.inherits : index.inherits;
    size_t written = 0, missingExpected = 0;
    bool failedWrite = false;
    for (size_t i = 0; i < kRoleCount; ++i) {
        const Role &role = roles()[i];
        const std::string label = std::string(role.windows) + " (" + role.title + ")";
        RoleResult r;
        const char *found = nullptr;
        for (const char *x : role.x)
            if (fs::is_regular_file(cursors / x, error)) {
                found = x;
                break;
            }
        if (!found) {
            r.line = "none of its X names in the theme (" + std::string(role.x[0]) + (role.x.size() > 1 ? ", ..." : "") + ")";
        } else {
            XFileNote note;
            r = xToCursor(cursors / found, out, role.file, scheme.files[i], note);
            if (r.written) scheme.notes[lowerAscii(scheme.files[i])] = std::move(note);
            else scheme.files[i].clear(), failedWrite = failedWrite || r.line.rfind("writing ", 0) == 0;
        }
        if (r.written) {
            ++written;
            if (!o.quiet) std::printf("%s: %s\n", label.c_str(), r.line.c_str());
        } else if (i < kExpectedRoles) {
            ++missingExpected;
            std::fprintf(stderr, "velmconv: theme: %s: %s; the scheme leaves it empty\n", label.c_str(), r.line.c_str());
        } else if (!o.quiet) {
            std::printf("%s: %s (a role X themes do not have)\n", label.c_str(), r.line.c_str());
        }
    }
    if (written == 0) {
        std::fprintf(stderr, "velmconv: theme: no cursor of %s could be made\n", in.string().c_str());
        return 1;
    }
    const std::string inf = writeInstallInf(scheme, "Cursors\\" + windowsSafeName(scheme.name));
    const fs::path infPath = out / "install.inf";
    clearWay(infPath);
    std::ofstream file(infPath, std::ios::binary | std::ios::trunc);
    file << inf;
    file.close();
    if (!file) {
        std::fprintf(stderr, "velmconv: theme: cannot write %s\n", infPath.string().c_str());
        return 1;
    }
    if (!o.quiet)
        std::printf("%zu of %zu roles written to %s with install.inf (scheme \"%s\")\n", written, kRoleCount,
                    out.string().c_str(), scheme.name.c_str());
    if (failedWrite) return 1;
    return missingExpected ? kExitRolesMissing : 0;
}

}  // namespace

int run(const std::string &in, const std::string &out, const Options &options) {
    std::error_code error;
    const fs::path from(in), to(out);
    if (!fs::is_directory(from, error)) {
        std::fprintf(stderr, "velmconv: theme: %s is not a folder\n", in.c_str());
        return 1;
    }
    if (options.toWindows) return themeToScheme(from, to, options);
    if (fs::is_directory(from / "cursors", error) && !fs::exists(from / "install.inf", error)) {
        bool cursorFiles = false;
        for (fs::directory_iterator it(from, error), end; !error && it != end && !cursorFiles; it.increment(error)) {
            const std::string ext = lowerAscii(it->path().extension().string());
            cursorFiles = ext == ".cur" || ext == ".ani";
        }
        if (!cursorFiles) {
            std::fprintf(stderr,
                         "velmconv: theme: %s is an X cursor theme (a cursors folder and no Windows cursor files); "
                         "--to windows makes a Windows scheme of it\n",
                         in.c_str());
            return 1;
        }
    }
    return schemeToTheme(from, to, options);
}

}  // namespace host::theme
