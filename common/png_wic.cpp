// PNG decoding on Windows: the system's imaging component (WIC), reading
// from memory through COM, converted to straight (not premultiplied) BGRA.
// Each decode makes its own factory and releases all it made before it
// returns.
#include <windows.h>
#include <wincodec.h>

#include "platform/com_win.h"
#include "platform/owners.h"
#include "common/png.h"

namespace vc::plat {

namespace {
PngResult failure(HRESULT hr) { return hr == E_OUTOFMEMORY ? PngResult::noMemory : PngResult::unusable; }
}  // namespace

PngResult decodePng(const uint8_t *data, size_t size, PngSink &sink) {
    // The sink takes the size from the image header before the decoder is
    // made: the system's decoder may reserve the whole image as it opens
    // it, which a huge declared size in a small file must not reach.
    uint32_t width = 0, height = 0;
    if (!pngHeaderSize(data, size, width, height) || size > MAXDWORD || width == 0 || height == 0 ||
        width > INT32_MAX / 4 || !sink.size(width, height))
        return PngResult::unusable;
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICFormatConverter> converter;
    // The stream reads the caller's bytes in place; they outlive the decoder.
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void **>(factory.out()));
    if (SUCCEEDED(hr)) hr = factory->CreateStream(stream.out());
    if (SUCCEEDED(hr)) hr = stream->InitializeFromMemory(const_cast<BYTE *>(data), DWORD(size));
    if (SUCCEEDED(hr)) hr = factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.out());
    if (SUCCEEDED(hr)) hr = decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.out());
    if (FAILED(hr)) return failure(hr);
    UINT frameWidth = 0, frameHeight = 0;
    if (FAILED(frame->GetSize(&frameWidth, &frameHeight)) || frameWidth != width || frameHeight != height)
        return PngResult::unusable;
    hr = factory->CreateFormatConverter(converter.out());
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) return failure(hr);
    // One copy of the whole image: the sink has taken the size, so it is
    // within the limits.
    const UINT stride = width * 4;
    Block pixels;
    if (uint64_t(stride) * height > UINT32_MAX || !pixels.alloc(uint64_t(stride) * height, kMemMoveable))
        return PngResult::noMemory;
    if (FAILED(hr = converter->CopyPixels(nullptr, stride, stride * height, pixels.data()))) return failure(hr);
    for (UINT y = 0; y < height; ++y) sink.row(y, pixels.data() + size_t(y) * stride);
    return PngResult::done;
}

bool encodePng(uint32_t width, uint32_t height, const uint8_t *bgra, std::vector<uint8_t> &out) {
    out.clear();
    if (width == 0 || height == 0 || width > INT32_MAX / 4 || uint64_t(width) * 4 * height > UINT32_MAX) return false;
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IStream> stream;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> properties;
    // The encoder writes into a stream on memory of its own, copied out at the end.
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void **>(factory.out()));
    if (SUCCEEDED(hr)) hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.out());
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out());
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.p, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.out(), properties.out());
    if (SUCCEEDED(hr)) hr = frame->Initialize(properties.p);
    if (SUCCEEDED(hr)) hr = frame->SetSize(width, height);
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat32bppBGRA) hr = E_FAIL;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(height, width * 4, width * 4 * height, const_cast<BYTE *>(bgra));
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream.p, &memory);
    STATSTG stat{};
    if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr) || !memory) return false;
    const void *at = GlobalLock(memory);
    if (!at) return false;
    bool ok = true;
    try {
        const auto *bytes = static_cast<const uint8_t *>(at);
        out.assign(bytes, bytes + size_t(stat.cbSize.QuadPart));
    } catch (const std::bad_alloc &) {
        out.clear();
        ok = false;
    }
    GlobalUnlock(memory);
    return ok;
}

}  // namespace vc::plat
