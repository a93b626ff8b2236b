// The JPEG codec over libjpeg, and the JPEG picture built on it.
#include "classlib/Graphics.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

// --- JPEG --------------------------------------------------------------------------------

namespace {

// Huffman coding spends at least one bit on every 8 x 8 block of the
// full-size component, so no complete picture has more than 512 pixels per
// byte of its file; real ones stay near 250 even when flat. A header that
// claims far more is a truncated or forged file, which the decoder would
// otherwise fill out in full, pass after pass for a progressive one. Twice
// the limit leaves every complete picture loading. Arithmetic coding could
// go below a bit per block, but only for a picture of next to nothing, and
// it meets the same limit.
constexpr long long kMaxJpegPixelsPerByte = 1024;

// Each scan of a progressive picture is a pass over the whole picture, and a
// small file can hold thousands of them: real pictures use a dozen or so.
constexpr int kMaxJpegScans = 256;
constexpr int kTooManyScans = -2;

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    int code = 0;
};

extern "C" void JpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    err->code = err->mgr.msg_code;
    std::longjmp(err->jump, 1);
}

extern "C" void JpegSilentMessage(j_common_ptr, int) {}

// Called while the decoder reads its input: stops it at the scan limit.
extern "C" void JpegProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor ||
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxJpegScans)
        return;
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    err->code = kTooManyScans;
    std::longjmp(err->jump, 1);
}

}  // namespace

namespace {

// The setjmp regions: their own locals are never changed after setjmp, and
// everything with a destructor belongs to the caller.
int DecodeJpegInto(jpeg_decompress_struct* cinfo, JpegError* err, jpeg_progress_mgr* progress,
                   const std::string& bytes, TPixels* pixels, std::vector<unsigned char>* row)
{
    if (setjmp(err->jump))
        return err->code == 0 ? 1 : err->code;
    jpeg_create_decompress(cinfo);
    cinfo->progress = progress;
    if (bytes.empty()) {
        err->code = JERR_INPUT_EMPTY;
        std::longjmp(err->jump, 1);
    }
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), (unsigned long)bytes.size());
    jpeg_read_header(cinfo, TRUE);
    const long long pixelCount = (long long)cinfo->image_width * cinfo->image_height;
    if (pixelCount > MaxPicturePixels || pixelCount > kMaxJpegPixelsPerByte * (long long)bytes.size())
        return -1;
    cinfo->out_color_space = cinfo->num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(cinfo);
    pixels->Width = int(cinfo->output_width);
    pixels->Height = int(cinfo->output_height);
    pixels->Data.resize(size_t(pixels->Width) * size_t(pixels->Height));
    const int comps = cinfo->output_components;
    row->resize(size_t(cinfo->output_width) * size_t(comps));
    while (cinfo->output_scanline < cinfo->output_height) {
        unsigned char* rowPtr = row->data();
        const int y = int(cinfo->output_scanline);
        jpeg_read_scanlines(cinfo, &rowPtr, 1);
        std::uint32_t* out = pixels->Data.data() + size_t(y) * size_t(pixels->Width);
        for (int x = 0; x < pixels->Width; ++x) {
            const unsigned char* p = row->data() + size_t(x) * size_t(comps);
            const std::uint32_t r = p[0], g = comps >= 3 ? p[1] : p[0], b = comps >= 3 ? p[2] : p[0];
            out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    jpeg_finish_decompress(cinfo);
    return 0;
}

int EncodeJpegInto(jpeg_compress_struct* cinfo, JpegError* err, const TPixels& pixels, int quality,
                   bool grayscale, unsigned char** buffer, unsigned long* size, std::vector<unsigned char>* row)
{
    if (setjmp(err->jump))
        return err->code == 0 ? 1 : err->code;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, buffer, size);
    cinfo->image_width = JDIMENSION(pixels.Width);
    cinfo->image_height = JDIMENSION(pixels.Height);
    cinfo->input_components = grayscale ? 1 : 3;
    cinfo->in_color_space = grayscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(cinfo, TRUE);
    row->resize(size_t(pixels.Width) * size_t(cinfo->input_components));
    while (cinfo->next_scanline < cinfo->image_height) {
        const std::uint32_t* in = pixels.Data.data() + size_t(cinfo->next_scanline) * size_t(pixels.Width);
        for (int x = 0; x < pixels.Width; ++x) {
            const unsigned r = (in[x] >> 16) & 255, g = (in[x] >> 8) & 255, b = in[x] & 255;
            if (grayscale) {
                (*row)[size_t(x)] = (unsigned char)((r * 299 + g * 587 + b * 114 + 500) / 1000);
            } else {
                (*row)[size_t(x) * 3] = (unsigned char)r;
                (*row)[size_t(x) * 3 + 1] = (unsigned char)g;
                (*row)[size_t(x) * 3 + 2] = (unsigned char)b;
            }
        }
        unsigned char* rowPtr = row->data();
        jpeg_write_scanlines(cinfo, &rowPtr, 1);
    }
    jpeg_finish_compress(cinfo);
    return 0;
}

}  // namespace

TPixels DecodeJpeg(const std::string& bytes)
{
    TPixels pixels;
    std::vector<unsigned char> row;
    jpeg_decompress_struct cinfo;
    JpegError err;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.emit_message = JpegSilentMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = JpegProgress;
    const int result = DecodeJpegInto(&cinfo, &err, &progress, bytes, &pixels, &row);
    jpeg_destroy_decompress(&cinfo);
    if (result == kTooManyScans)
        throw EInvalidGraphic("JPEG image has too many scans");
    if (result < 0)
        throw EInvalidGraphic("JPEG image is too large");
    if (result > 0)
        throw EInvalidGraphic("JPEG error #" + IntToStr(result));
    return pixels;
}

std::string EncodeJpeg(const TPixels& pixels, int quality, bool grayscale)
{
    if (pixels.Width <= 0 || pixels.Height <= 0 ||
        pixels.Data.size() < size_t(pixels.Width) * size_t(pixels.Height))
        throw EInvalidGraphic("JPEG error #" + IntToStr(JERR_EMPTY_IMAGE));
    std::vector<unsigned char> row;
    jpeg_compress_struct cinfo;
    JpegError err;
    std::memset(&cinfo, 0, sizeof cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.emit_message = JpegSilentMessage;
    const int result = EncodeJpegInto(&cinfo, &err, pixels, quality, grayscale, &buffer, &size, &row);
    jpeg_destroy_compress(&cinfo);
    std::string out;
    if (result == 0 && buffer)
        out.assign(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    if (result != 0)
        throw EInvalidGraphic("JPEG error #" + IntToStr(result));
    return out;
}

namespace {

TPixels PixelsOf(const TBitmap& bitmap)
{
    TPixels p;
    p.Width = bitmap.Width();
    p.Height = bitmap.Height();
    p.Data.resize(size_t(p.Width) * size_t(p.Height));
    for (int y = 0; y < p.Height; ++y)
        std::memcpy(p.Data.data() + size_t(y) * size_t(p.Width), bitmap.ScanLine(y), size_t(p.Width) * 4);
    return p;
}

}  // namespace

TJPEGImage::TJPEGImage() : FBitmap(std::make_unique<TBitmap>()) {}

TJPEGImage::TJPEGImage(const TJPEGImage& other)
    : TGraphic(), FBitmap(std::make_unique<TBitmap>(*other.FBitmap)), FQuality(other.FQuality),
      FGrayscale(other.FGrayscale)
{
}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Assign(const TBitmap& bitmap)
{
    FBitmap->Assign(bitmap);
    Changed();
}

int TJPEGImage::Width() const
{
    return FBitmap->Width();
}

int TJPEGImage::Height() const
{
    return FBitmap->Height();
}

void TJPEGImage::SetCompressionQuality(int quality)
{
    FQuality = std::clamp(quality, 1, 100);
}

void TJPEGImage::SetGrayscale(bool grayscale)
{
    FGrayscale = grayscale;
}

void TJPEGImage::Draw(TCanvas* canvas, const TRect& rect)
{
    FBitmap->Draw(canvas, rect);
}

void TJPEGImage::LoadFromBytes(const std::string& bytes)
{
    const TPixels pixels = DecodeJpeg(bytes);
    TBitmap decoded(pixels.Width, pixels.Height);
    for (int y = 0; y < pixels.Height; ++y)
        std::memcpy(decoded.ScanLine(y), pixels.Data.data() + size_t(y) * size_t(pixels.Width),
                    size_t(pixels.Width) * 4);
    FBitmap->Assign(decoded);
    Changed();
}

std::string TJPEGImage::SaveToBytes() const
{
    return EncodeJpeg(PixelsOf(*FBitmap), FQuality, FGrayscale);
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const
{
    return std::make_unique<TJPEGImage>(*this);
}
