// Small program files built in memory for the resource reader's tests: a
// PE32 or PE32+ image with one resource section, and a 16-bit NE file (no
// toolchain makes those any more). They say where their structures lie so
// that tests can damage them one field at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vctest {

using Bytes = std::vector<uint8_t>;

inline void poke16(Bytes &b, size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}
inline void poke32(Bytes &b, size_t at, uint32_t v) { poke16(b, at, v & 0xFFFF), poke16(b, at + 2, v >> 16); }
inline void pokeBytes(Bytes &b, size_t at, const Bytes &v) {
    if (b.size() < at + v.size()) b.resize(at + v.size());
    std::copy(v.begin(), v.end(), b.begin() + long(at));
}
// An MZ header whose new header, at 64, starts with signature.
inline Bytes mzHeader(uint32_t signature) {
    Bytes b(64);
    poke16(b, 0, 0x5A4D), poke16(b, 24, 64), poke32(b, 60, 64), poke32(b, 64, signature);
    return b;
}

// A stored bitmap: a header of 40 bytes (12 for core), its colour table and
// pixels of 0x5A.
inline Bytes dib(int w, int h, uint16_t bits, bool core = false) {
    Bytes b(core ? 12 : 40);
    poke32(b, 0, uint32_t(b.size()));
    if (core) poke16(b, 4, uint32_t(w)), poke16(b, 6, uint32_t(h)), poke16(b, 8, 1), poke16(b, 10, bits);
    else poke32(b, 4, uint32_t(w)), poke32(b, 8, uint32_t(h)), poke16(b, 12, 1), poke16(b, 14, bits);
    b.resize(b.size() + (bits <= 8 ? size_t(core ? 3 : 4) << bits : 0) + (size_t(w) * bits + 31) / 32 * 4 * size_t(h), 0x5A);
    return b;
}

struct Resource {
    std::string name;  // named when not empty, else id
    uint32_t id;
    uint16_t language;  // PE: the language; NE: the type (2 for bitmaps)
    Bytes data;
};

struct PeFile {
    Bytes bytes;
    size_t optional, section, root, bitmapDir, languageDir0, dataEntry0, name0;  // file offsets
};
// Root -> bitmap type -> one directory per bitmap -> its language's data
// entry; then the names and the data, in one section at rawAt (RVA 0x3000).
inline PeFile buildPe(const std::vector<Resource> &bitmaps, bool plus, uint32_t rawAt = 0x200) {
    const size_t n = bitmaps.size(), languages = 40 + 8 * n, entries = languages + 24 * n;
    PeFile f{mzHeader(0x4550), 88, 88 + (plus ? 240u : 224u), rawAt, rawAt + 24, rawAt + languages, rawAt + entries,
             rawAt + entries + 16 * n};
    Bytes &b = f.bytes, r;
    poke16(b, 70, 1), poke16(b, 84, uint32_t(f.section - f.optional)), poke16(b, f.optional, plus ? 0x20B : 0x10B);
    const size_t dirs = f.optional + (plus ? 112 : 96);
    poke32(b, dirs - 4, 16), poke32(b, dirs + 16, 0x3000);
    poke32(r, 12, 1 << 16), poke32(r, 16, 2), poke32(r, 20, 0x80000000u | 24);
    size_t at = entries + 16 * n, named = 0;
    for (size_t i = 0; i < n; ++i) {
        const Resource &bm = bitmaps[i];
        named += !bm.name.empty();
        poke32(r, 40 + 8 * i, bm.name.empty() ? bm.id : 0x80000000u | uint32_t(at));
        for (size_t k = 0; k < bm.name.size(); ++k) poke16(r, at + 2 + 2 * k, uint8_t(bm.name[k]));
        if (!bm.name.empty()) poke16(r, at, uint32_t(bm.name.size())), at += 2 + 2 * bm.name.size();
        poke32(r, 44 + 8 * i, 0x80000000u | uint32_t(languages + 24 * i));
        poke16(r, languages + 24 * i + 14, 1), poke32(r, languages + 24 * i + 16, bm.language);
        poke32(r, languages + 24 * i + 20, uint32_t(entries + 16 * i));
    }
    poke16(r, 36, uint32_t(named)), poke16(r, 38, uint32_t(n - named));
    for (size_t i = 0; i < n; ++i) {
        at = (at + 3) & ~size_t(3);
        poke32(r, entries + 16 * i, uint32_t(0x3000 + at)), poke32(r, entries + 16 * i + 4, uint32_t(bitmaps[i].data.size()));
        pokeBytes(r, at, bitmaps[i].data), at += bitmaps[i].data.size();
    }
    poke32(b, dirs + 20, uint32_t(r.size())), pokeBytes(b, f.section, {'.', 'r', 's', 'r', 'c'});
    poke32(b, f.section + 8, uint32_t(r.size())), poke32(b, f.section + 12, 0x3000);
    poke32(b, f.section + 16, uint32_t(r.size())), poke32(b, f.section + 20, rawAt), pokeBytes(b, rawAt, r);
    return f;
}

// An NE file: the header at 64, the resource table at 128 (one type record
// per resource, names behind the table), data aligned to 1 << shift.
inline Bytes buildNe(const std::vector<Resource> &resources, uint16_t shift = 4) {
    Bytes b = mzHeader(0x454E), t;
    const size_t n = resources.size(), unit = size_t(1) << shift;
    size_t names = 2 + 20 * n + 2, data = 0;
    poke16(t, 0, shift);
    for (size_t i = 0; i < n; ++i) {
        const Resource &r = resources[i];
        poke16(t, 2 + 20 * i, 0x8000u | r.language), poke16(t, 4 + 20 * i, 1);
        poke16(t, 16 + 20 * i, r.name.empty() ? 0x8000u | r.id : uint32_t(names));
        if (!r.name.empty()) pokeBytes(t, names, {uint8_t(r.name.size())}), pokeBytes(t, names + 1, Bytes(r.name.begin(), r.name.end()));
        names += r.name.empty() ? 0 : 1 + r.name.size();
    }
    t.resize(std::max(t.size(), 2 + 20 * n + 2) + 1);  // the end of the table; an empty resident-name table
    poke16(b, 100, 64), poke16(b, 102, uint32_t(64 + t.size() - 1));
    data = (128 + t.size() + unit - 1) / unit * unit;
    for (size_t i = 0; i < n; ++i) {
        poke16(t, 10 + 20 * i, uint32_t(data >> shift)), poke16(t, 12 + 20 * i, uint32_t((resources[i].data.size() + unit - 1) >> shift));
        pokeBytes(b, data, resources[i].data), data += (resources[i].data.size() + unit - 1) / unit * unit;
    }
    pokeBytes(b, 128, t), b.resize(data);
    return b;
}

}  // namespace vctest
