// JPEG: the work area's path (bytes → DecodedPicture) against a bare
// libjpeg-turbo decode of the same files to RGB. GIF: our decoder against
// giflib's DGifSlurp on the same animated files; both decode every frame's
// colour indices. GIF bombs: the work area's path alone. The pictures are
// made here at start, so no large file is kept in the repository.

#include "bench/decoders/GifInMemory.h"
#include "controls/decoders/Decoders.h"
#include "controls/decoders/Gif.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

using namespace mugrove;
using namespace mugrove::bench;

namespace {

// ------------------------------------------------------------- pictures

// Something like a photo: smooth gradients, a few shapes and fine noise.
std::vector<std::uint8_t> PhotoPixels(int w, int h, unsigned seed)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
            const int cx = x - w / 2, cy = y - h / 3;
            const bool disc = cx * cx + cy * cy < (h / 5) * (h / 5);
            const int r = disc ? 220 : 40 + 150 * x / w;
            const int g = disc ? 180 : 60 + 120 * y / h;
            const int b = ((x / 37 + y / 53) & 1) ? 140 : 90;
            p[0] = static_cast<std::uint8_t>(std::clamp(r + noise(rng), 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(g + noise(rng), 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(b + noise(rng), 0, 255));
        }
    return rgb;
}

std::vector<std::uint8_t> EncodeJpeg(int w, int h, bool progressive)
{
    const std::vector<std::uint8_t> rgb = PhotoPixels(w, h, static_cast<unsigned>(w));
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<std::size_t>(info.next_scanline) * w * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> file(out, out + size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return file;
}

// An animation of `frames` frames: a full first frame of dithered
// gradients, then moving rectangles of changing content.
std::vector<std::uint8_t> EncodeGif(int w, int h, int frames)
{
    std::vector<std::uint8_t> file;
    GifFileType* gif = OpenGifWriter(file, w, h);
    std::mt19937 rng(7);
    std::vector<GifByteType> line(static_cast<std::size_t>(w));
    for (int f = 0; f < frames; ++f) {
        const int fw = f == 0 ? w : w / 2, fh = f == 0 ? h : h / 2;
        const int left = f == 0 ? 0 : (f * 13) % (w - fw), top = f == 0 ? 0 : (f * 7) % (h - fh);
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = f % 3 == 0 ? DISPOSE_DO_NOT : DISPOSE_PREVIOUS;
        gcb.DelayTime = 4;
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType ext[4];
        const size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
        EGifPutImageDesc(gif, left, top, fw, fh, false, nullptr);
        for (int y = 0; y < fh; ++y) {
            for (int x = 0; x < fw; ++x) {
                // Ordered dither of a gradient plus a little noise: the kind
                // of data an animated GIF of real footage holds.
                const int d = ((x & 3) * 4 + (y & 3)) * 2;
                const int v = (x * 255 / fw + y * 128 / fh + f * 5 + d + static_cast<int>(rng() % 9)) & 255;
                line[static_cast<std::size_t>(x)] = static_cast<GifByteType>(v);
            }
            EGifPutLine(gif, line.data(), fw);
        }
    }
    int error = 0;
    EGifCloseFile(gif, &error);
    return file;
}

const std::vector<std::uint8_t>& Jpeg(int index)
{
    static std::map<int, std::vector<std::uint8_t>> files;
    static const int sizes[][3] = {{640, 480, 0}, {640, 480, 1}, {1600, 1200, 0}, {1600, 1200, 1},
                                   {4000, 3000, 0}, {4000, 3000, 1}};
    auto it = files.find(index);
    if (it == files.end())
        it = files.emplace(index, EncodeJpeg(sizes[index][0], sizes[index][1], sizes[index][2] != 0)).first;
    return it->second;
}

// The built-in template pictures, read from the source tree.
const std::vector<std::vector<std::uint8_t>>& Templates()
{
    static const std::vector<std::vector<std::uint8_t>> files = [] {
        std::vector<std::filesystem::path> paths;
        const std::filesystem::path dir = MUGROVE_SOURCE_DIR "/assets/templates";
        if (std::filesystem::is_directory(dir))
            for (const auto& e : std::filesystem::directory_iterator(dir))
                if (e.path().extension() == ".jpg")
                    paths.push_back(e.path());
        std::sort(paths.begin(), paths.end());
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& p : paths) {
            std::ifstream in(p, std::ios::binary);
            out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return out;
    }();
    return files;
}

const std::vector<std::uint8_t>& Gif(int index)
{
    static std::map<int, std::vector<std::uint8_t>> files;
    static const int shapes[][3] = {{160, 120, 40}, {480, 360, 20}, {1024, 768, 8}};
    auto it = files.find(index);
    if (it == files.end())
        it = files.emplace(index, EncodeGif(shapes[index][0], shapes[index][1], shapes[index][2])).first;
    return it->second;
}

void Label(benchmark::State& state, const std::vector<std::uint8_t>& file, const char* what)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
    state.SetLabel(std::string(what) + ", " + std::to_string(file.size() / 1024) + " KiB");
}

// ------------------------------------------------------------- JPEG

struct BareJpeg {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
};

void BM_JpegWorkArea(benchmark::State& state)
{
    const auto& file = Jpeg(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        DecodedPicture picture;
        if (DecodePictureInProcess(file, picture) != DecodeError::None)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
    Label(state, file, state.range(0) % 2 ? "progressive" : "baseline");
}

// libjpeg-turbo alone: to 24-bit RGB rows in one buffer.
void BareDecode(const std::vector<std::uint8_t>& file)
{
    BareJpeg d{};
    d.info.err = jpeg_std_error(&d.errors);
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d.info, TRUE);
    d.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.info);
    const std::size_t stride = static_cast<std::size_t>(d.info.output_width) * 3;
    std::vector<std::uint8_t> pixels(stride * d.info.output_height);
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = pixels.data() + stride * d.info.output_scanline;
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    jpeg_destroy_decompress(&d.info);
    benchmark::DoNotOptimize(pixels.data());
}

void BM_JpegBare(benchmark::State& state)
{
    const auto& file = Jpeg(static_cast<int>(state.range(0)));
    for (auto _ : state)
        BareDecode(file);
    Label(state, file, state.range(0) % 2 ? "progressive" : "baseline");
}

// Every template once per iteration.
void BM_TemplatesWorkArea(benchmark::State& state)
{
    if (Templates().empty())
        state.SkipWithError("no templates");
    for (auto _ : state)
        for (const auto& file : Templates()) {
            DecodedPicture picture;
            if (DecodePictureInProcess(file, picture) != DecodeError::None)
                state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(picture.image.pixels.data());
        }
    state.SetLabel(std::to_string(Templates().size()) + " templates");
}

void BM_TemplatesBare(benchmark::State& state)
{
    if (Templates().empty())
        state.SkipWithError("no templates");
    for (auto _ : state)
        for (const auto& file : Templates())
            BareDecode(file);
    state.SetLabel(std::to_string(Templates().size()) + " templates");
}

// ------------------------------------------------------------- GIF

// Ours: the index, then every frame's colour indices, one frame at a time
// into one buffer (the player's way) where giflib keeps them all.
void BM_GifOurs(benchmark::State& state)
{
    const auto& file = Gif(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        GifIndex index;
        if (IndexGif(file, index) != DecodeError::None)
            state.SkipWithError("decode failed");
        std::vector<std::uint8_t> indices(index.largestClip);
        std::uint64_t decoded = 0;
        for (const GifFrameInfo& frame : index.frames)
            DecodeGifFrame(file, frame, indices.data(), decoded);
        benchmark::DoNotOptimize(indices.data());
    }
    Label(state, file, "frames as indices");
}

void BM_GifGiflib(benchmark::State& state)
{
    const auto& file = Gif(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        MemoryInput in{&file, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&in, ReadFromMemory, &error);
        if (gif == nullptr || DGifSlurp(gif) != GIF_OK)
            state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif);
        DGifCloseFile(gif, &error);
    }
    Label(state, file, "frames as indices");
}

// Ours again, as the player shows them: every frame decoded and composed.
void BM_GifOursComposed(benchmark::State& state)
{
    const auto bytes = std::make_shared<const PictureBytes>(Gif(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        Image still;
        std::unique_ptr<Animation> player;
        DecodeGif(bytes, still, player);
        for (std::size_t i = 0; i < player->FrameCount(); ++i)
            player->Advance();
        benchmark::DoNotOptimize(player->Canvas().pixels.data());
    }
    Label(state, *bytes, "decoded and composed");
}

// ------------------------------------------------------------- bombs

void PutCode(std::vector<std::uint8_t>& out, std::uint32_t& acc, int& bits, int code, int size)
{
    acc |= static_cast<std::uint32_t>(code) << bits;
    bits += size;
    while (bits >= 8) {
        out.push_back(static_cast<std::uint8_t>(acc));
        acc >>= 8;
        bits -= 8;
    }
}

// A frame claiming 65535 × 65535 over a 16 × 16 screen, one colour, whose
// codes each stand for about 4000 pixels, `bytes` of LZW data in all (the
// same recipe as the test files' bombs).
std::vector<std::uint8_t> Bomb(std::size_t bytes, bool interlaced)
{
    std::vector<std::uint8_t> lzw;
    std::uint32_t acc = 0;
    int bits = 0, size = 3, next = 6;
    PutCode(lzw, acc, bits, 4, size); // clear
    PutCode(lzw, acc, bits, 0, size);
    while (lzw.size() < bytes) {
        if (next < 4096) {
            PutCode(lzw, acc, bits, next, size);
            ++next;
            if (next == (1 << size) && size < 12)
                ++size;
        } else {
            PutCode(lzw, acc, bits, 4095, size);
        }
    }
    std::vector<std::uint8_t> file = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 16, 0, 0x81, 0, 0,
                                      255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255,
                                      0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                      static_cast<std::uint8_t>(interlaced ? 0x40 : 0), 2};
    for (std::size_t i = 0; i < lzw.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, lzw.size() - i);
        file.push_back(static_cast<std::uint8_t>(n));
        file.insert(file.end(), lzw.begin() + static_cast<std::ptrdiff_t>(i),
                    lzw.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    file.push_back(0);
    file.push_back(0x3B);
    return file;
}

// The work area's path on a bomb: 380 KB and ten times that, rows straight
// or interlaced (where far more of the data must be read).
void BM_GifBomb(benchmark::State& state)
{
    const std::vector<std::uint8_t> file = Bomb(static_cast<std::size_t>(state.range(0)) * 1024, state.range(1) != 0);
    for (auto _ : state) {
        DecodedPicture picture;
        if (DecodePictureInProcess(file, picture) != DecodeError::None)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
    Label(state, file, state.range(1) ? "interlaced" : "straight");
}

} // namespace

BENCHMARK(BM_GifBomb)->ArgsProduct({{380, 3800}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegWorkArea)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegBare)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TemplatesWorkArea)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TemplatesBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifGiflib)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifOursComposed)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
