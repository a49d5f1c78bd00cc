// Bitmaps stored as resources in program files: 16-bit NE and 32-bit or
// 64-bit PE executables, DLLs, screen savers and whatever else is built the
// same way (control panel applets, font files). Only the headers and the
// resource directory are read, through a window over the bytes, so a
// caller holding a large program as a file lists it through a FileWindow
// without reading it whole.
//
// The list holds at most kProgramBitmapMost entries; a program with more
// lists the first ones found. A bitmap's data is a packed DIB as stored
// (BITMAPINFOHEADER or later, or in old files BITMAPCOREHEADER).
//
// Damaged input: a header or directory that cannot be read is
// Result::readFailed, keeping the entries listed before it; a directory
// that loops or fans out without end runs out of a budget of entries; a
// name that cannot be read reads "???" (PE) or stays empty (NE).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codecs/dib_core.h"
#include "common/picture.h"
#include "common/result.h"

namespace vc {

class FileWindow;

constexpr uint32_t kProgramBitmapMost = 100;

struct ProgramBitmap {
    std::string name;         // the text a list shows: "   100-1033", "LOGO-1033"; at most 31 characters
    uint32_t id = 0;          // the place in the list, counted from 0
    uint32_t dataOffset = 0;  // of the stored DIB, from the start of the file
    uint32_t dataSize = 0;    // as the directory says; may run past the end of a damaged file
    uint16_t neNameWord = 0;  // NE files: the id word the name is made from
};

// Whether the bytes start as an MZ program with an NE or PE header.
bool looksLikeProgram(std::span<const uint8_t> bytes);
bool looksLikeProgram(FileWindow &window);

// The program's bitmaps in directory order. noneFound for a program
// without resource table, bitmap type or bitmaps; notFormat for anything
// not a program; readFailed for a short or damaged header or directory
// (with the bitmaps listed before the damage).
Result listProgramBitmaps(std::span<const uint8_t> bytes, const CoreRequest &request, std::vector<ProgramBitmap> &out);
// The same over a file too large to hold, read through its window.
Result listProgramBitmaps(FileWindow &window, const CoreRequest &request, std::vector<ProgramBitmap> &out);

// The two walks on their own. The PE walk lists the data entries of the
// directory at base + directory under namePrefix, whose first length
// characters are the names of the directories above; budget counts the
// directory entries the whole walk may still read. The NE walk reads the
// resource table of the new header at newHeader. Both add to out.
Result walkPeBitmapDirectory(FileWindow &window, uint32_t base, uint32_t directory, const char *namePrefix,
                             uint32_t length, std::vector<ProgramBitmap> &out, uint32_t &budget);
Result readNeBitmapTable(FileWindow &window, uint32_t newHeader, std::vector<ProgramBitmap> &out);

// The stored DIB of a listed bitmap as it lies in bytes: data said to run
// past the end gives what is there. readFailed when it starts past the end
// or holds no more than 40 bytes, noMemory when it is larger than a block
// may be.
Result programBitmapData(std::span<const uint8_t> bytes, const ProgramBitmap &which, const Limits &limits,
                         std::span<const uint8_t> &data);

// The listed bitmap as a picture.
Result decodeProgramBitmap(std::span<const uint8_t> bytes, const ProgramBitmap &which, const CoreRequest &request,
                           Picture &out);

}  // namespace vc
