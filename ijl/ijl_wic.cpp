// The codec backend of the JPEG library stand-in on Windows: the
// platform's imaging component (WIC). Each call makes its own factory and
// releases everything it made before it returns.
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ijl/ijl_backend.h"
#include "platform/com_win.h"

namespace jl {

namespace {

using vc::plat::Com;
using vc::plat::ComScope;

std::wstring wide(const char *name) {
    int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name, -1, w.data(), n);
    w.resize(size_t(n - 1));
    return w;
}

bool factory(Com<IWICImagingFactory> &f) {
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, reinterpret_cast<void **>(f.out())));
}

// The bytes of the source: the caller's, else the named file's, read
// whole. Bytes that do not end in an end-of-image marker get one added, so
// that a file cut short is completed as the JPEG library completes it on
// Linux (the missing part grey) rather than refused; the decoder reads the
// stream until that marker, so nothing of the file is lost. held keeps
// what the stream reads when the caller's bytes do not serve.
int32_t sourceBytes(const Source &source, std::vector<BYTE> &held, const BYTE *&bytes, DWORD &size) {
    bytes = source.bytes;
    size = source.size;
    if (!bytes) {
        const std::wstring name = source.file ? wide(source.file) : std::wstring();
        if (name.empty()) return JL_E_OPEN;
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return JL_E_OPEN;
        LARGE_INTEGER length{};
        bool read = GetFileSizeEx(file, &length) && length.QuadPart < 0x7FFFFFF0;
        if (read) {
            held.resize(size_t(length.QuadPart));
            DWORD got = 0;
            read = held.empty() || (ReadFile(file, held.data(), DWORD(held.size()), &got, nullptr) && got == held.size());
        }
        CloseHandle(file);
        if (!read) return JL_E_OPEN;
        bytes = held.data();
        size = DWORD(held.size());
    }
    if (size >= 2 && !(bytes[size - 2] == 0xFF && bytes[size - 1] == 0xD9)) {
        if (bytes != held.data()) held.assign(bytes, bytes + size);
        held.push_back(0xFF);
        held.push_back(0xD9);
        bytes = held.data();
        size = DWORD(held.size());
    }
    return JL_OK;
}

// Opens the first frame of the source, provided it is a JPEG. The decoder
// reads from held when sourceBytes needed it, which then outlives it.
int32_t openFrame(Com<IWICImagingFactory> &f, const Source &source, std::vector<BYTE> &held,
                  Com<IWICBitmapDecoder> &decoder, Com<IWICBitmapFrameDecode> &frame) {
    const BYTE *bytes = nullptr;
    DWORD size = 0;
    if (int32_t r = sourceBytes(source, held, bytes, size); r != JL_OK) return r;
    if (!factory(f)) return JL_E_MEMORY;
    // The decoder keeps the stream; the bytes outlive it.
    Com<IWICStream> stream;
    if (FAILED(f->CreateStream(stream.out()))) return JL_E_MEMORY;
    if (size == 0 || FAILED(stream->InitializeFromMemory(const_cast<BYTE *>(bytes), size)) ||
        FAILED(f->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, decoder.out())))
        return JL_E_DECODE;
    GUID container{};
    if (FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatJpeg)
        return JL_E_DECODE;
    if (FAILED(decoder->GetFrame(0, frame.out()))) return JL_E_DECODE;
    return JL_OK;
}

void setOption(IPropertyBag2 *bag, const wchar_t *name, VARIANT &value) {
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(name);
    bag->Write(1, &option, &value);  // an option this WIC lacks keeps its default
}

// Encodes the pixel side of p as a JPEG file into the stream.
int32_t encode(Com<IWICImagingFactory> &f, IStream *stream, const JlProperties &p) {
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    if (FAILED(f->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.out())) ||
        FAILED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.out(), options.out())))
        return JL_E_ENCODE;
    VARIANT quality;
    VariantInit(&quality);
    quality.vt = VT_R4;
    quality.fltVal = float(p.jpegQuality) / 100.0f;
    setOption(options.p, L"ImageQuality", quality);
    VARIANT sampling;
    VariantInit(&sampling);
    sampling.vt = VT_UI1;
    sampling.bVal = p.jpegSubsampling == JL_SUBSAMPLE_NONE  ? BYTE(WICJpegYCrCbSubsampling444)
                    : p.jpegSubsampling == JL_SUBSAMPLE_422 ? BYTE(WICJpegYCrCbSubsampling422)
                                                            : BYTE(WICJpegYCrCbSubsampling420);
    setOption(options.p, L"JpegYCrCbSubsampling", sampling);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->Initialize(options.p)) || FAILED(frame->SetSize(UINT(p.dibWidth), UINT(rowCount(p)))) ||
        FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR)
        return JL_E_ENCODE;
    const UINT stride = UINT(p.dibWidth) * 3 + UINT(p.dibPadBytes);
    if (p.dibHeight > 0) {
        if (FAILED(frame->WritePixels(UINT(p.dibHeight), stride, stride * UINT(p.dibHeight), p.dibBytes)))
            return JL_E_ENCODE;
    } else {
        // Bottom-up rows go to the encoder one at a time, top row first.
        for (int64_t y = 0; y < rowCount(p); ++y)
            if (FAILED(frame->WritePixels(1, stride, stride, rowAt(p, y)))) return JL_E_ENCODE;
    }
    if (FAILED(frame->Commit()) || FAILED(encoder->Commit())) return JL_E_ENCODE;
    return JL_OK;
}

}  // namespace

int32_t readParams(const Source &source, int32_t &width, int32_t &height, int32_t &channels) {
    ComScope com;
    std::vector<BYTE> held;
    Com<IWICImagingFactory> f;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    if (int32_t r = openFrame(f, source, held, decoder, frame); r != JL_OK) return r;
    UINT w = 0, h = 0;
    WICPixelFormatGUID format{};
    if (FAILED(frame->GetSize(&w, &h)) || FAILED(frame->GetPixelFormat(&format))) return JL_E_DECODE;
    if (w == 0 || h == 0 || w > 65535 || h > 65535) return JL_E_DECODE;
    width = int32_t(w);
    height = int32_t(h);
    channels = format == GUID_WICPixelFormat8bppGray ? 1 : format == GUID_WICPixelFormat32bppCMYK ? 4 : 3;
    return JL_OK;
}

int32_t readImage(const JlProperties &p) {
    ComScope com;
    std::vector<BYTE> held;
    Com<IWICImagingFactory> f;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    if (int32_t r = openFrame(f, sourceOf(p), held, decoder, frame); r != JL_OK) return r;
    UINT w = 0, h = 0;
    if (FAILED(frame->GetSize(&w, &h))) return JL_E_DECODE;
    if (int64_t(w) != p.dibWidth || int64_t(h) != rowCount(p)) return JL_E_SIZE;
    Com<IWICFormatConverter> converter;
    if (FAILED(f->CreateFormatConverter(converter.out()))) return JL_E_MEMORY;
    if (FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return JL_E_UNSUPPORTED;
    const UINT stride = UINT(p.dibWidth) * 3 + UINT(p.dibPadBytes);
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * h, p.dibBytes))) return JL_E_DECODE;
    // Bottom-up rows: decoded top row first, then turned over in place.
    if (p.dibHeight < 0)
        for (UINT top = 0, bottom = h - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(p.dibBytes + size_t(stride) * top, p.dibBytes + size_t(stride) * top + stride,
                             p.dibBytes + size_t(stride) * bottom);
    return JL_OK;
}

int32_t writeImage(const JlProperties &p, uint32_t &written) {
    ComScope com;
    Com<IWICImagingFactory> f;
    if (!factory(f)) return JL_E_MEMORY;
    if (!p.jpegOutBytes) {
        const std::wstring name = wide(p.jpegFile);
        Com<IWICStream> file;
        if (name.empty() || FAILED(f->CreateStream(file.out())) ||
            FAILED(file->InitializeFromFilename(name.c_str(), GENERIC_WRITE)))
            return JL_E_OPEN;
        return encode(f, file.p, p);
    }
    // The encoder writes into a growing stream of its own; the file is
    // copied out once its size is known to fit.
    Com<IStream> memory;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, memory.out()))) return JL_E_MEMORY;
    if (int32_t r = encode(f, memory.p, p); r != JL_OK) return r;
    STATSTG stat{};
    if (FAILED(memory->Stat(&stat, STATFLAG_NONAME))) return JL_E_ENCODE;
    if (stat.cbSize.QuadPart > p.jpegOutSizeBytes) return JL_E_BUFFER;
    const ULONG size = ULONG(stat.cbSize.QuadPart);
    LARGE_INTEGER zero{};
    ULONG got = 0;
    if (FAILED(memory->Seek(zero, STREAM_SEEK_SET, nullptr)) || FAILED(memory->Read(p.jpegOutBytes, size, &got)) ||
        got != size)
        return JL_E_ENCODE;
    written = size;
    return JL_OK;
}

}  // namespace jl
