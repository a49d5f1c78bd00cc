// The one result type inside the library. Every reader, writer, format
// core, codec core (LZW, RLE, PackBits), the program-file scan and the
// dialog models give a Result; the exports turn it into the editor's 16-bit
// result codes (toConvResult) and nothing else does.
#pragma once

#include <cstdint>

#include "velmconv/velmconv.h"

namespace vc {

enum class Result : int8_t {
    ok,           // done
    cancelled,    // the user (or a progress callback) said stop
    noneFound,    // a well-formed file with nothing to give (a program without bitmaps)
    openFailed,   // the file cannot be opened
    notFormat,    // the bytes are not of the format asked for
    readFailed,   // the file is short, or reading failed
    unsupported,  // a kind of the format the library does not handle
    noMemory,     // a limit refuses the picture, or memory was refused
    damaged,      // the data inside is inconsistent
    createFailed, // the file cannot be created
    writeFailed,  // writing failed
};

// The editor's code for a result. "None found" is what the editor has
// always been told for a program without bitmaps: nothing loaded, no
// message of failure (CONV_CANCELLED).
constexpr int16_t toConvResult(Result r) {
    switch (r) {
    case Result::ok: return CONV_OK;
    case Result::cancelled: return CONV_CANCELLED;
    case Result::noneFound: return CONV_CANCELLED;
    case Result::openFailed: return CONV_E_OPEN;
    case Result::notFormat: return CONV_E_FORMAT;
    case Result::readFailed: return CONV_E_READ;
    case Result::unsupported: return CONV_E_UNSUPPORTED;
    case Result::noMemory: return CONV_E_MEMORY;
    case Result::damaged: return CONV_E_DATA;
    case Result::createFailed: return CONV_E_CREATE;
    case Result::writeFailed: return CONV_E_WRITE;
    }
    return CONV_E_DATA;
}

// A short name for logs and tests ("ok", "none found", "damaged", ...).
constexpr const char *resultName(Result r) {
    switch (r) {
    case Result::ok: return "ok";
    case Result::cancelled: return "cancelled";
    case Result::noneFound: return "none found";
    case Result::openFailed: return "cannot open";
    case Result::notFormat: return "not this format";
    case Result::readFailed: return "cannot read";
    case Result::unsupported: return "unsupported";
    case Result::noMemory: return "too large or out of memory";
    case Result::damaged: return "damaged";
    case Result::createFailed: return "cannot create";
    case Result::writeFailed: return "cannot write";
    }
    return "unknown";
}

}  // namespace vc
