// Small program files built in memory for the resource reader's tests: a
// PE32 or PE32+ image with one resource section, and a 16-bit NE file
// (no toolchain makes those any more). The builders return where their
// structures lie so that tests can damage them one field at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vctest {

using Bytes = std::vector<uint8_t>;

inline void poke16(Bytes &b, size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}
inline void poke32(Bytes &b, size_t at, uint32_t v) {
    poke16(b, at, v & 0xFFFF);
    poke16(b, at + 2, v >> 16);
}
inline void pokeBytes(Bytes &b, size_t at, const Bytes &v) {
    if (b.size() < at + v.size()) b.resize(at + v.size());
    std::copy(v.begin(), v.end(), b.begin() + long(at));
}
// An MZ header whose new header follows at 64.
inline Bytes mzHeader() {
    Bytes b(64);
    b[0] = 'M', b[1] = 'Z';
    poke16(b, 24, 64);
    poke32(b, 60, 64);
    return b;
}

struct PeBitmap {
    std::string name;  // named when not empty, else id
    uint32_t id;
    uint16_t language;
    Bytes data;
};
struct PeFile {
    Bytes bytes;
    size_t optional, section, root, bitmapDir, languageDir0, dataEntry0, name0;  // file offsets
};
constexpr uint32_t kRsrcRva = 0x3000;

// Root -> bitmap type -> one directory per bitmap -> its language's data
// entry, names, then the data, in one section at rawAt.
inline PeFile buildPe(const std::vector<PeBitmap> &bitmaps, bool plus, uint32_t rawAt = 0x200) {
    PeFile f{mzHeader(), 0, 0, 0, 0, 0, 0, 0};
    Bytes &b = f.bytes;
    poke32(b, 64, 0x4550);
    poke16(b, 68, plus ? 0x8664 : 0x14C);
    poke16(b, 70, 1);
    const uint32_t optionalSize = plus ? 240 : 224;
    poke16(b, 84, optionalSize);
    f.optional = 88;
    poke16(b, f.optional, plus ? 0x20B : 0x10B);
    const size_t count = f.optional + (plus ? 108 : 92), dirs = count + 4;
    poke32(b, count, 16);
    f.section = f.optional + optionalSize;
    pokeBytes(b, f.section, {'.', 'r', 's', 'r', 'c'});

    Bytes r;
    const size_t n = bitmaps.size();
    poke16(r, 14, 1);
    poke32(r, 16, 2);
    poke32(r, 20, 0x80000000u | 24);
    const size_t langDirs = 24 + 16 + 8 * n, entries = langDirs + 24 * n;
    size_t names = entries + 16 * n;
    size_t named = 0;
    for (const auto &bm : bitmaps) named += !bm.name.empty();
    poke16(r, 24 + 12, uint32_t(named));
    poke16(r, 24 + 14, uint32_t(n - named));
    std::vector<size_t> nameAt(n);
    for (size_t i = 0; i < n; ++i) {
        if (bitmaps[i].name.empty()) continue;
        nameAt[i] = names;
        poke16(r, names, uint32_t(bitmaps[i].name.size()));
        for (size_t k = 0; k < bitmaps[i].name.size(); ++k) poke16(r, names + 2 + 2 * k, uint8_t(bitmaps[i].name[k]));
        names += 2 + 2 * bitmaps[i].name.size();
    }
    size_t data = (names + 3) & ~size_t(3);
    for (size_t i = 0; i < n; ++i) {
        const auto &bm = bitmaps[i];
        poke32(r, 24 + 16 + 8 * i, bm.name.empty() ? bm.id : 0x80000000u | uint32_t(nameAt[i]));
        poke32(r, 24 + 16 + 8 * i + 4, 0x80000000u | uint32_t(langDirs + 24 * i));
        poke16(r, langDirs + 24 * i + 14, 1);
        poke32(r, langDirs + 24 * i + 16, bm.language);
        poke32(r, langDirs + 24 * i + 20, uint32_t(entries + 16 * i));
        poke32(r, entries + 16 * i, uint32_t(kRsrcRva + data));
        poke32(r, entries + 16 * i + 4, uint32_t(bm.data.size()));
        pokeBytes(r, data, bm.data);
        data = (data + bm.data.size() + 3) & ~size_t(3);
    }
    r.resize(data);
    poke32(b, dirs + 16, kRsrcRva);
    poke32(b, dirs + 20, uint32_t(r.size()));
    poke32(b, f.section + 8, uint32_t(r.size()));
    poke32(b, f.section + 12, kRsrcRva);
    poke32(b, f.section + 16, uint32_t(r.size()));
    poke32(b, f.section + 20, rawAt);
    pokeBytes(b, rawAt, r);
    f.root = rawAt;
    f.bitmapDir = rawAt + 24;
    f.languageDir0 = rawAt + langDirs;
    f.dataEntry0 = rawAt + entries;
    f.name0 = rawAt + entries + 16 * n;
    return f;
}

struct NeResource {
    uint16_t type;      // 2 for bitmaps (the high bit is added)
    uint16_t id;        // a number (the high bit is added), or 0 for name
    std::string name;
    Bytes data;
};
struct NeFile {
    Bytes bytes;
    size_t table;  // file offset of the resource table
};

// An NE header at 64 and the resource table behind it, data aligned to
// 1 << shift.
inline NeFile buildNe(const std::vector<NeResource> &resources, uint16_t shift = 4) {
    NeFile f{mzHeader(), 128};
    Bytes &b = f.bytes;
    b.resize(128);
    b[64] = 'N', b[65] = 'E';
    Bytes t;
    poke16(t, 0, shift);
    std::vector<uint16_t> types;
    for (const auto &r : resources)
        if (std::find(types.begin(), types.end(), r.type) == types.end()) types.push_back(r.type);
    size_t at = 2, names = 2 + 8 * types.size() + 12 * resources.size() + 2;
    std::vector<size_t> record(resources.size());
    for (uint16_t type : types) {
        size_t count = 0;
        poke16(t, at, 0x8000u | type);
        const size_t countAt = at + 2;
        at += 8;
        for (size_t i = 0; i < resources.size(); ++i) {
            if (resources[i].type != type) continue;
            ++count;
            record[i] = at;
            if (resources[i].id) {
                poke16(t, at + 6, 0x8000u | resources[i].id);
            } else {
                poke16(t, at + 6, uint32_t(names));
                t.resize(std::max(t.size(), names + 1 + resources[i].name.size()));
                t[names] = uint8_t(resources[i].name.size());
                std::copy(resources[i].name.begin(), resources[i].name.end(), t.begin() + long(names) + 1);
                names += 1 + resources[i].name.size();
            }
            at += 12;
        }
        poke16(t, countAt, uint32_t(count));
    }
    poke16(t, at, 0);
    t.resize(std::max(t.size(), names) + 1);  // and an empty resident-name table
    poke16(b, 64 + 36, 64);
    poke16(b, 64 + 38, uint32_t(64 + t.size() - 1));
    pokeBytes(b, f.table, t);
    const size_t unit = size_t(1) << shift;
    size_t data = (b.size() + unit - 1) / unit * unit;
    for (size_t i = 0; i < resources.size(); ++i) {
        const auto &r = resources[i];
        poke16(b, f.table + record[i], uint32_t(data >> shift));
        poke16(b, f.table + record[i] + 2, uint32_t((r.data.size() + unit - 1) >> shift));
        pokeBytes(b, data, r.data);
        data = (data + r.data.size() + unit - 1) / unit * unit;
    }
    b.resize(data);
    return f;
}

}  // namespace vctest
