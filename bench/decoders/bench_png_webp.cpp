// PNG and WebP: the work area's path (bytes → DecodedPicture, and for an
// animation every frame played through the player) against the bare
// libraries on the same files: libspng to RGBA, libwebp to BGRA, libwebp's
// animation decoder frame by frame; and, for PNG, Qt's own reader. The
// pictures are made here at start, so no large file is kept in the
// repository.

#include "controls/decoders/Decoders.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <spng.h>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>
#include <random>
#include <vector>

using namespace mugrove;

namespace {

using Bytes = std::shared_ptr<const PictureBytes>;

// A desktop screenshot: flat window areas, title bars, lines of "text".
QImage Screenshot(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(46, 52, 64));
    QPainter p(&image);
    std::mt19937 rng(7);
    for (int win = 0; win < 6; ++win) {
        const QRect r(60 + win * 230, 40 + win * 90, 900, 600);
        p.fillRect(r, QColor(236, 239, 244));
        p.fillRect(r.x(), r.y(), r.width(), 30, QColor(76, 86, 106));
        for (int line = 0; line < 30; ++line)
            for (int word = 0; word < 12; ++word) {
                const int len = 20 + static_cast<int>(rng() % 50);
                p.fillRect(r.x() + 12 + word * 72, r.y() + 44 + line * 18, len, 9,
                           QColor(40 + static_cast<int>(rng() % 60), 40, 60));
            }
    }
    return image;
}

// Something like a photo: smooth gradients, a disc and fine noise.
QImage Photo(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    std::mt19937 rng(static_cast<unsigned>(w));
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int cx = x - w / 2, cy = y - h / 3;
            const bool disc = cx * cx + cy * cy < (h / 5) * (h / 5);
            row[x] = qRgb(std::clamp((disc ? 220 : 40 + 150 * x / w) + noise(rng), 0, 255),
                          std::clamp((disc ? 180 : 60 + 120 * y / h) + noise(rng), 0, 255),
                          std::clamp(((x / 37 + y / 53) & 1 ? 140 : 90) + noise(rng), 0, 255));
        }
    }
    return image;
}

Bytes Png(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::make_shared<const PictureBytes>(png.begin(), png.end());
}

Bytes LossyWebp(const QImage& image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeRGBA(rgba.constBits(), rgba.width(), rgba.height(),
                                            static_cast<int>(rgba.bytesPerLine()), 80, &out);
    auto bytes = std::make_shared<const PictureBytes>(out, out + size);
    WebPFree(out);
    return bytes;
}

// 100 frames of 480 × 270: a disc moving over a photo, lossy, 40 ms each.
Bytes AnimatedWebp()
{
    constexpr int w = 480, h = 270;
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(w, h, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.quality = 75;
    const QImage background = Photo(w, h);
    for (int i = 0; i < 100; ++i) {
        QImage frame = background.convertToFormat(QImage::Format_RGBA8888);
        QPainter p(&frame);
        p.setBrush(QColor(200, 40, 40));
        p.drawEllipse(QPoint(40 + i * 4, 135 + (i % 20) * 3), 30, 30);
        p.end();
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.width = w;
        picture.height = h;
        picture.use_argb = 1;
        WebPPictureImportRGBA(&picture, frame.constBits(), static_cast<int>(frame.bytesPerLine()));
        WebPAnimEncoderAdd(encoder, &picture, i * 40, &config);
        WebPPictureFree(&picture);
    }
    WebPAnimEncoderAdd(encoder, nullptr, 100 * 40, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    auto bytes = std::make_shared<const PictureBytes>(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

const std::vector<Bytes>& PngFiles()
{
    static const std::vector<Bytes> files = {Png(Screenshot(1920, 1080)), Png(Photo(4000, 3000))};
    return files;
}

const Bytes& WebpPhoto()
{
    static const Bytes file = LossyWebp(Photo(1600, 1200));
    return file;
}

const Bytes& WebpAnimation()
{
    static const Bytes file = AnimatedWebp();
    return file;
}

void Label(benchmark::State& state, const Bytes& file, int w, int h)
{
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h) + ", " + std::to_string(file->size() / 1024) + " KiB");
}

// ------------------------------------------------------------ PNG

void BM_PngWorkArea(benchmark::State& state)
{
    const Bytes& file = PngFiles()[static_cast<std::size_t>(state.range(0))];
    DecodedPicture picture;
    for (auto _ : state) {
        if (DecodePictureInProcess(file, picture) != DecodeError::None)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
    Label(state, file, picture.Width(), picture.Height());
}

void BM_PngBare(benchmark::State& state)
{
    const Bytes& file = PngFiles()[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(0);
        spng_set_png_buffer(ctx, file->data(), file->size());
        std::size_t size = 0;
        spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size);
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[size]);
        if (spng_decode_image(ctx, out.get(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.get());
        spng_ctx_free(ctx);
    }
}

void BM_PngQt(benchmark::State& state)
{
    const Bytes& file = PngFiles()[static_cast<std::size_t>(state.range(0))];
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(file->data()),
                                                    static_cast<qsizetype>(file->size()));
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(data);
        QImageReader reader(&buffer, "png");
        const QImage image = reader.read();
        if (image.isNull())
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.constBits());
    }
}

// ------------------------------------------------------------ WebP

void BM_WebpWorkArea(benchmark::State& state)
{
    DecodedPicture picture;
    for (auto _ : state) {
        if (DecodePictureInProcess(WebpPhoto(), picture) != DecodeError::None)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
    Label(state, WebpPhoto(), picture.Width(), picture.Height());
}

void BM_WebpBare(benchmark::State& state)
{
    const Bytes& file = WebpPhoto();
    for (auto _ : state) {
        int w = 0, h = 0;
        std::uint8_t* out = WebPDecodeBGRA(file->data(), file->size(), &w, &h);
        if (out == nullptr)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out);
        WebPFree(out);
    }
}

// Opening the file as the work area does and playing all 100 frames.
void BM_WebpAnimationWorkArea(benchmark::State& state)
{
    DecodedPicture picture;
    for (auto _ : state) {
        if (DecodePictureInProcess(WebpAnimation(), picture) != DecodeError::None || !picture.animation)
            state.SkipWithError("decode failed");
        Animation& player = *picture.animation;
        for (std::size_t i = 0; i < player.FrameCount(); ++i)
            if (player.Advance() != DecodeError::None)
                state.SkipWithError("frame failed");
        benchmark::DoNotOptimize(player.Canvas().pixels.data());
    }
    Label(state, WebpAnimation(), picture.Width(), picture.Height());
}

void BM_WebpAnimationBare(benchmark::State& state)
{
    const Bytes& file = WebpAnimation();
    const WebPData data{file->data(), file->size()};
    for (auto _ : state) {
        WebPAnimDecoderOptions options;
        WebPAnimDecoderOptionsInit(&options);
        options.color_mode = MODE_BGRA;
        WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
        std::uint8_t* frame = nullptr;
        int timestamp = 0;
        int frames = 0;
        while (WebPAnimDecoderHasMoreFrames(decoder) && WebPAnimDecoderGetNext(decoder, &frame, &timestamp))
            ++frames;
        if (frames != 100)
            state.SkipWithError("frames missing");
        benchmark::DoNotOptimize(frame);
        WebPAnimDecoderDelete(decoder);
    }
}

} // namespace

// Run with --benchmark_repetitions and compare the medians side by side.
BENCHMARK(BM_PngWorkArea)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngBare)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngQt)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpWorkArea)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpAnimationWorkArea)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpAnimationBare)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
