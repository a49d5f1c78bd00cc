#include "host/theme_inf.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace host::theme {

namespace {

// The X names of each role: the first names the file, the others link to
// it. The long hexadecimal names are the ones toolkits ask for by the
// hash of the old core cursor's bitmap.
const std::array<Role, kRoleCount> kRoles = {{
    {"Arrow", "Normal Select", "arrow", {"left_ptr", "default", "arrow", "top_left_arrow"},
     {"arrow", "normal", "normalselect", "pointer", "default", "leftptr"}},
    {"Help", "Help Select", "help",
     {"help", "question_arrow", "whats_this", "left_ptr_help", "5c6cd98b3f3ebcb1f9c7f1c204630408",
      "d9ce0ab605698f320427677b458ad60b"},
     {"help", "helpsel", "helpselect", "question"}},
    {"AppStarting", "Working in Background", "appstarting",
     {"left_ptr_watch", "progress", "half-busy", "3ecb610c1bf2410f44200f48c40d3599",
      "08e8e1c95fe2fc01f976f1e063a24ccd", "00000000000000020006000e7e9ffc3f"},
     {"working", "appstarting", "workinginbackground", "background", "progress", "leftptrwatch"}},
    {"Wait", "Busy", "wait", {"watch", "wait"}, {"busy", "wait", "watch", "hourglass"}},
    {"Crosshair", "Precision Select", "crosshair", {"crosshair", "cross", "tcross"},
     {"cross", "crosshair", "precision", "precisionselect"}},
    {"IBeam", "Text Select", "ibeam", {"xterm", "text", "ibeam"}, {"text", "textselect", "ibeam", "beam", "xterm"}},
    {"NWPen", "Handwriting", "nwpen", {"pencil", "draft"}, {"pen", "handwriting", "nwpen", "pencil"}},
    {"No", "Unavailable", "no",
     {"not-allowed", "forbidden", "circle", "crossed_circle", "03b6e0fcb3499374a867c041f52298f0"},
     {"no", "unavailable", "unavail", "notallowed", "forbidden"}},
    {"SizeNS", "Vertical Resize", "sizens",
     {"size_ver", "ns-resize", "sb_v_double_arrow", "v_double_arrow", "00008160000006810000408080010102",
      "2870a09082c103050810ffdffffe0204"},
     {"ns", "sizens", "vert", "vertical", "verticalresize", "sizever"}},
    {"SizeWE", "Horizontal Resize", "sizewe",
     {"size_hor", "ew-resize", "sb_h_double_arrow", "h_double_arrow", "028006030e0e7ebffc7f7070c0600140",
      "14fef782d02440884392942c11205230"},
     {"ew", "we", "sizewe", "horz", "horizontal", "horizontalresize", "sizehor"}},
    {"SizeNWSE", "Diagonal Resize 1", "sizenwse",
     {"size_fdiag", "nwse-resize", "fd_double_arrow", "c7088f0f3e6c8088236ef8e1e3e70000"},
     {"nwse", "sizenwse", "dgn1", "diagonal1", "diagonalresize1", "fdiag", "sizefdiag"}},
    {"SizeNESW", "Diagonal Resize 2", "sizenesw",
     {"size_bdiag", "nesw-resize", "bd_double_arrow", "fcf1c3c7cd4491d801f1e1c78f100000"},
     {"nesw", "sizenesw", "dgn2", "diagonal2", "diagonalresize2", "bdiag", "sizebdiag"}},
    {"SizeAll", "Move", "sizeall",
     {"fleur", "move", "all-scroll", "size_all", "4498f0e0c1937ffe01fd06f973665830",
      "9081237383d90e509aa00f00170e968f"},
     {"move", "sizeall", "fleur", "allscroll"}},
    {"UpArrow", "Alternate Select", "uparrow", {"up-arrow", "center_ptr", "sb_up_arrow"},
     {"up", "uparrow", "alternate", "alternateselect", "alt"}},
    {"Hand", "Link Select", "hand",
     {"hand2", "pointer", "hand1", "hand", "pointing_hand", "9d800788f1b08800ae810202380a0822",
      "e29285e634086352946a0e7090d73106"},
     {"link", "hand", "linkselect"}},
    {"Pin", "Location Select", "pin", {"pin"}, {"pin", "location", "locationselect"}},
    {"Person", "Person Select", "person", {"person"}, {"person", "personselect"}},
}};

constexpr std::string_view kXSection = "x.cursor.theme";

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void appendUtf8(std::string &out, uint32_t c) {
    if (c < 0x80) out += char(c);
    else if (c < 0x800) out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
    else if (c < 0x10000) out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
    else
        out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F)), out += char(0x80 | (c >> 6 & 0x3F)),
            out += char(0x80 | (c & 0x3F));
}

// The next code point of UTF-8 text at i (moved past it); nullopt when the
// bytes there are no well-formed UTF-8.
std::optional<uint32_t> nextUtf8(std::string_view s, size_t &i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return ++i, c;
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (!n || i + n > s.size()) return std::nullopt;
    uint32_t v = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return std::nullopt;
        v = v << 6 | (b(i + k) & 0x3F);
    }
    if ((n == 3 && (v < 0x800 || (v >= 0xD800 && v < 0xE000))) || (n == 4 && (v < 0x10000 || v > 0x10FFFF)))
        return std::nullopt;
    i += n;
    return v;
}

bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();)
        if (!nextUtf8(s, i)) return false;
    return true;
}

// The text as UTF-8, by its byte-order mark; nullopt (with why) when refused.
std::optional<std::string> decodeText(std::string_view bytes, std::string &why) {
    if (bytes.size() > kInfLargestFile) {
        why = "larger than " + std::to_string(kInfLargestFile) + " bytes, more than an install.inf ever holds";
        return std::nullopt;
    }
    std::string out;
    if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
        const bool little = bytes[0] == '\xFF';
        const auto unit = [&](size_t i) {
            const auto lo = static_cast<unsigned char>(bytes[i + (little ? 0 : 1)]);
            const auto hi = static_cast<unsigned char>(bytes[i + (little ? 1 : 0)]);
            return uint32_t(lo | hi << 8);
        };
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            uint32_t c = unit(i);
            if (c == 0) {
                why = "a NUL character inside the text";
                return std::nullopt;
            }
            if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
                i += 2;
            } else if (c >= 0xD800 && c < 0xE000) {
                c = 0xFFFD;
            }
            appendUtf8(out, c);
        }
        return out;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (bytes.find('\0') != std::string_view::npos) {
        why = "a NUL byte inside the text: not an install.inf";
        return std::nullopt;
    }
    if (validUtf8(bytes)) return std::string(bytes);
    for (char c : bytes) appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

struct Row {
    size_t line = 0;                  // of its first physical line, from 1
    std::string section;              // in lower case
    bool keyed = false;               // KEY = ...
    std::string key;
    std::vector<std::string> fields;  // unquoted, not yet expanded
};

// Where the comment of a line starts (outside quotes), and whether it ends
// inside a quote.
size_t commentStart(std::string_view line, bool &openQuote) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == ';' && !quoted) return openQuote = false, i;
    }
    openQuote = quoted;
    return line.size();
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// One field's text without its quotes ("" inside quotes is a quote).
std::string unquoted(std::string_view s, bool &unclosed) {
    s = trimmed(s);
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '"') out += s[i];
        else if (quoted && i + 1 < s.size() && s[i + 1] == '"') out += '"', ++i;
        else quoted = !quoted;
    }
    unclosed = quoted;
    return out;
}

// Splits a logical line (comment removed) at the commas, and the key at
// the first '=', outside quotes.
void splitRow(std::string_view line, Row &row, bool &unclosed) {
    bool quoted = false;
    size_t start = 0;
    unclosed = false;
    const auto take = [&](size_t end) {
        bool open = false;
        row.fields.push_back(unquoted(line.substr(start, end - start), open));
        unclosed = unclosed || open;
        start = end + 1;
    };
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (quoted) continue;
        else if (line[i] == '=' && !row.keyed && row.fields.empty()) {
            bool open = false;
            row.keyed = true;
            row.key = unquoted(line.substr(start, i - start), open);
            start = i + 1;
        } else if (line[i] == ',') {
            take(i);
        }
    }
    take(line.size());
}

// Every row of the text, sections noted; rows past the limits are left out
// with a note.
std::vector<Row> rowsOf(std::string_view text, std::vector<std::string> &skipped) {
    std::vector<Row> rows;
    std::string section, logical;
    size_t line = 0, first = 0;
    const auto note = [&](size_t at, const std::string &why) {
        if (skipped.size() < 1000) skipped.push_back("line " + std::to_string(at) + ": " + why);
    };
    bool tooLong = false;
    for (size_t pos = 0; pos <= text.size();) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view physical = text.substr(pos, end - pos);
        pos = end + (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
        ++line;
        if (logical.empty() && !tooLong) first = line;
        bool openQuote = false;
        physical = trimmed(physical.substr(0, commentStart(physical, openQuote)));
        const bool goesOn = !openQuote && !physical.empty() && physical.back() == '\\';
        if (goesOn) physical.remove_suffix(1);
        if (!tooLong && logical.size() + physical.size() > kInfLongestLine) {
            note(first, "a row longer than " + std::to_string(kInfLongestLine) + " characters, left out");
            tooLong = true;
            logical.clear();
        }
        if (!tooLong) logical += physical;
        if (goesOn && pos <= text.size()) continue;
        const bool wasTooLong = tooLong;
        tooLong = false;
        const std::string_view row = trimmed(logical);
        if (wasTooLong || row.empty()) {
            logical.clear();
            continue;
        }
        if (row.front() == '[') {
            const size_t close = row.find(']');
            if (close == std::string_view::npos) note(first, "a section name without its ']', left out");
            else section = lowerAscii(trimmed(row.substr(1, close - 1)));
            logical.clear();
            continue;
        }
        Row r;
        r.line = first;
        r.section = section;
        bool unclosed = false;
        splitRow(row, r, unclosed);
        logical.clear();
        if (r.fields.size() > kInfMostFields) {
            note(first, "more than " + std::to_string(kInfMostFields) + " fields, left out");
            continue;
        }
        if (unclosed) note(first, "a quote not closed: the field runs to the end of the row");
        rows.push_back(std::move(r));
    }
    return rows;
}

using Strings = std::map<std::string, std::string>;

// %NAME% replaced from [Strings]; nullopt when the result grows too long.
std::optional<std::string> expanded(std::string_view s, const Strings &strings) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        const size_t close = s.find('%', i + 1);
        if (close == std::string_view::npos) {
            out += s.substr(i);
            break;
        }
        const std::string_view name = s.substr(i + 1, close - i - 1);
        if (name.empty()) out += '%';
        else if (auto it = strings.find(lowerAscii(name)); it != strings.end()) out += it->second;
        else out += s.substr(i, close - i + 1);
        i = close;
        if (out.size() > kInfLongestLine) return std::nullopt;
    }
    return out;
}

// The file a registry path names: what follows its last separator.
std::optional<std::string> fileOfPath(std::string_view path) {
    path = trimmed(path);
    if (const size_t slash = path.find_last_of("\\/"); slash != std::string_view::npos) path.remove_prefix(slash + 1);
    path = trimmed(path);
    if (path.empty() || path == "." || path == "..") return std::nullopt;
    return std::string(path);
}

// "24,32,48" as numbers; nullopt for anything else.
std::optional<std::vector<uint32_t>> numberList(std::string_view s) {
    std::vector<uint32_t> out;
    while (!s.empty()) {
        const size_t comma = s.find(',');
        const std::string_view item = trimmed(s.substr(0, comma));
        uint32_t v = 0;
        const auto [at, error] = std::from_chars(item.data(), item.data() + item.size(), v);
        if (item.empty() || error != std::errc() || at != item.data() + item.size() || out.size() >= kInfMostValues)
            return std::nullopt;
        out.push_back(v);
        s = comma == std::string_view::npos ? std::string_view() : s.substr(comma + 1);
    }
    if (out.empty()) return std::nullopt;
    return out;
}

bool isCursorsKey(std::string_view key, bool &schemes) {
    const std::string k = lowerAscii(trimmed(key));
    schemes = k == "control panel\\cursors\\schemes";
    return schemes || k == "control panel\\cursors";
}

void takeRegistryRow(const Row &r, const Strings &strings, Scheme &scheme, bool &listSeen,
                     std::array<bool, kRoleCount> &byValue) {
    const auto note = [&](const std::string &why) {
        if (scheme.skipped.size() < 1000) scheme.skipped.push_back("line " + std::to_string(r.line) + ": " + why);
    };
    bool schemes = false;
    if (r.fields.size() < 2 || !isCursorsKey(r.fields[1], schemes)) return;
    const auto field = [&](size_t i) {
        return i < r.fields.size() ? expanded(r.fields[i], strings) : std::optional<std::string>(std::string());
    };
    const std::optional<std::string> valueName = field(2), value = field(4);
    if (!valueName || !value) return note("a value longer than " + std::to_string(kInfLongestLine) + " characters, left out");
    if (schemes) {
        if (listSeen) return note("a second scheme list, left out");
        listSeen = true;
        if (!trimmed(*valueName).empty()) scheme.name = std::string(trimmed(*valueName));
        std::vector<std::string_view> items;
        for (std::string_view list = *value;;) {
            const size_t comma = list.find(',');
            items.push_back(list.substr(0, comma));
            if (comma == std::string_view::npos) break;
            list.remove_prefix(comma + 1);
        }
        if (items.size() > kRoleCount) {
            note("more than " + std::to_string(kRoleCount) + " files in the scheme list: the rest left out");
            items.resize(kRoleCount);
        }
        for (size_t role = 0; role < items.size(); ++role) {
            if (auto file = fileOfPath(items[role]); file && !byValue[role]) scheme.files[role] = *file;
            else if (!file && !trimmed(items[role]).empty())
                note("file " + std::to_string(role + 1) + " of the scheme list has no name");
        }
        return;
    }
    if (trimmed(*valueName).empty()) {
        if (!trimmed(*value).empty()) scheme.name = std::string(trimmed(*value));
        return;
    }
    const size_t role = roleIndex(trimmed(*valueName));
    if (role == kRoleCount) return note("no cursor role is called '" + *valueName + "', left out");
    auto file = fileOfPath(*value);
    if (!file) return note("the file of " + std::string(kRoles[role].windows) + " has no name, left out");
    scheme.files[role] = *file;
    byValue[role] = true;
}

void takeXRow(const Row &r, const Strings &strings, Scheme &scheme) {
    const auto note = [&](const std::string &why) {
        if (scheme.skipped.size() < 1000) scheme.skipped.push_back("line " + std::to_string(r.line) + ": " + why);
    };
    if (!r.keyed || r.fields.empty()) return note("a row without a name in [X.Cursor.Theme], left out");
    const std::optional<std::string> value = expanded(r.fields[0], strings);
    if (!value) return note("a value too long, left out");
    const std::optional<std::string> name = expanded(r.key, strings);
    if (!name) return note("a name too long, left out");
    const std::string key = lowerAscii(trimmed(*name));
    if (key == "comment") scheme.comment = *value;
    else if (key == "inherits") scheme.inherits = *value;
    else {
        auto sizes = numberList(*value);
        auto delays = r.fields.size() > 1 ? numberList(r.fields[1]) : std::nullopt;
        if (!sizes || !delays || key.empty()) return note("sizes and delays of '" + r.key + "' are not lists of numbers, left out");
        scheme.notes[key] = {std::move(*sizes), std::move(*delays)};
    }
}

// A name written into a quoted field: quotes doubled, '%' as "%%".
std::string quotedValue(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += "\"\"";
        else if (c == '%') out += "%%";
        else if (c == '\r' || c == '\n') out += ' ';
        else out += c;
    }
    return out + "\"";
}

// A file name that needs no quotes in a row.
bool plainName(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
    });
}

std::string joined(const std::vector<uint32_t> &values) {
    std::string out;
    for (uint32_t v : values) {
        if (!out.empty()) out += ',';
        out += std::to_string(v);
    }
    return out;
}

}  // namespace

const std::array<Role, kRoleCount> &roles() { return kRoles; }

size_t roleIndex(std::string_view windowsName) {
    for (size_t i = 0; i < kRoleCount; ++i)
        if (equalNoCase(windowsName, kRoles[i].windows)) return i;
    return kRoleCount;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::optional<Scheme> readInstallInf(std::string_view bytes, std::string &why) {
    const std::optional<std::string> text = decodeText(bytes, why);
    if (!text) return std::nullopt;
    Scheme scheme;
    const std::vector<Row> rows = rowsOf(*text, scheme.skipped);
    Strings strings;
    for (const Row &r : rows)
        if (r.section == "strings" && r.keyed && !r.fields.empty()) {
            // A value keeps what it says; only "%%" in it is one '%'.
            std::string value;
            for (size_t i = 0; i < r.fields[0].size(); ++i)
                if (r.fields[0][i] != '%' || i + 1 >= r.fields[0].size() || r.fields[0][i + 1] != '%') value += r.fields[0][i];
                else value += '%', ++i;
            strings.emplace(lowerAscii(trimmed(r.key)), std::move(value));
        }
    bool listSeen = false;
    std::array<bool, kRoleCount> byValue{};
    for (const Row &r : rows) {
        if (r.section == kXSection) takeXRow(r, strings, scheme);
        else if (!r.keyed && !r.fields.empty() &&
                 (equalNoCase(r.fields[0], "HKCU") || equalNoCase(r.fields[0], "HKEY_CURRENT_USER")))
            takeRegistryRow(r, strings, scheme, listSeen, byValue);
    }
    if (scheme.name.empty())
        if (auto it = strings.find("scheme_name"); it != strings.end()) scheme.name = std::string(trimmed(it->second));
    return scheme;
}

std::string writeInstallInf(const Scheme &scheme, const std::string &folder) {
    const std::string name = scheme.name.empty() ? "Cursors" : scheme.name;
    std::string t;
    const auto line = [&](const std::string &s) { t += s + "\r\n"; };
    line("; The cursor scheme \"" + name + "\". Right-click this file and choose Install;");
    line("; then pick the scheme in the mouse settings (Pointers).");
    line("[Version]");
    line("Signature = \"$CHICAGO$\"");
    line("");
    line("[DefaultInstall]");
    line("CopyFiles = Scheme.Cur");
    line("AddReg = Scheme.Reg");
    line("");
    line("[DestinationDirs]");
    line("Scheme.Cur = 10,\"%CUR_DIR%\"");
    line("");
    line("[Scheme.Reg]");
    std::string list;
    for (size_t i = 0; i < kRoleCount; ++i) {
        if (i) list += ',';
        // A name with a comma would split the list; its role's own row names it.
        if (!scheme.files[i].empty() && scheme.files[i].find(',') == std::string::npos)
            list += std::string("%10%\\%CUR_DIR%\\%") + kRoles[i].windows + "%";
    }
    line("HKCU,\"Control Panel\\Cursors\\Schemes\",\"%SCHEME_NAME%\",0x00020000,\"" + list + "\"");
    line("HKCU,\"Control Panel\\Cursors\",,0x00020000,\"%SCHEME_NAME%\"");
    for (size_t i = 0; i < kRoleCount; ++i)
        if (!scheme.files[i].empty())
            line(std::string("HKCU,\"Control Panel\\Cursors\",") + kRoles[i].windows + ",0x00020000,\"%10%\\%CUR_DIR%\\%" +
                 kRoles[i].windows + "%\"");
    line("");
    line("[Scheme.Cur]");
    for (const std::string &file : scheme.files)
        if (!file.empty()) line(plainName(file) ? file : quotedValue(file));
    line("");
    line("[Strings]");
    line("CUR_DIR = " + quotedValue(folder));
    line("SCHEME_NAME = " + quotedValue(name));
    for (size_t i = 0; i < kRoleCount; ++i)
        if (!scheme.files[i].empty()) line(std::string(kRoles[i].windows) + " = " + quotedValue(scheme.files[i]));
    line("");
    line("; What the X cursor theme held that the files cannot: its comment and the");
    line("; theme it inherits from, and per file each image's nominal size and each");
    line("; step's delay in milliseconds. Windows leaves this section alone.");
    line("[X.Cursor.Theme]");
    if (!scheme.comment.empty()) line("Comment = " + quotedValue(scheme.comment));
    if (scheme.inherits) line("Inherits = " + quotedValue(*scheme.inherits));
    for (const auto &[file, note] : scheme.notes)
        line(quotedValue(file) + " = \"" + joined(note.sizes) + "\",\"" + joined(note.delays) + "\"");

    if (std::all_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return t;
    std::string wide = "\xFF\xFE";
    const auto unit = [&](uint32_t u) { wide += char(u & 0xFF), wide += char(u >> 8); };
    for (size_t i = 0; i < t.size();) {
        const std::optional<uint32_t> next = nextUtf8(t, i);
        const uint32_t c = next.value_or(0xFFFD);
        if (!next) ++i;
        if (c >= 0x10000) unit(0xD800 + ((c - 0x10000) >> 10)), unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        else unit(c);
    }
    return wide;
}

size_t guessRole(std::string_view fileName) {
    std::string_view stem = fileName;
    if (const size_t dot = stem.rfind('.'); dot != std::string_view::npos && dot > 0) stem = stem.substr(0, dot);
    std::string whole;
    std::vector<std::string> words(1);
    for (char c : lowerAscii(stem)) {
        if (std::isalnum(static_cast<unsigned char>(c))) whole += c, words.back() += c;
        else if (!words.back().empty()) words.emplace_back();
    }
    const auto named = [&](const std::string &w) {
        for (size_t i = 0; i < kRoleCount; ++i)
            for (const char *word : kRoles[i].words)
                if (w == word) return i;
        return kRoleCount;
    };
    if (size_t role = named(whole); role != kRoleCount) return role;
    size_t found = kRoleCount;
    for (const std::string &w : words) {
        const size_t role = named(w);
        if (role == kRoleCount) continue;
        if (found != kRoleCount && found != role) return kRoleCount;  // words of two roles
        found = role;
    }
    return found;
}

std::string windowsSafeName(std::string_view name) {
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        out += u >= 0x80 || std::isalnum(u) || (c && std::strchr(" -_.()+&!'", c)) ? c : '_';
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    while (!out.empty() && out.front() == ' ') out.erase(out.begin());
    if (out.size() > 100) out.resize(100);
    // Cut in the middle of a UTF-8 sequence: drop the partial character.
    while (!out.empty() && !validUtf8(out)) out.pop_back();
    if (out.empty()) return "Cursors";
    static const char *const reserved[] = {"con", "prn", "aux", "nul", "com1", "com2", "com3", "com4", "com5", "com6",
                                           "com7", "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6",
                                           "lpt7", "lpt8", "lpt9"};
    const std::string stem = lowerAscii(out.substr(0, out.find('.')));
    for (const char *r : reserved)
        if (stem == r) return "_" + out;
    return out;
}

}  // namespace host::theme
