// A 4000 × 3000 photo in HEIC, AVIF and JPEG XL from drop to paint, against
// each library's bare decode of the same file to RGBA (file read included on
// both sides). The files are encoded here at start, with the libraries'
// own encoders at their fast settings, so no large file is kept in the
// repository.
#include "bench/support/PhotoPixels.h"
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/Startup.h"
#include "controls/PicBox.h"
#include "templates/PhotoDrop.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/resizable_parallel_runner.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace mugrove;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

std::vector<std::uint8_t> MakePixels() { return bench::PhotoLikePixels(kWidth, kHeight, 4); }

struct HeifWriter {
    std::vector<std::uint8_t> bytes;
    static heif_error Write(heif_context*, const void* data, size_t size, void* self)
    {
        auto& out = static_cast<HeifWriter*>(self)->bytes;
        out.insert(out.end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size);
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    }
};

std::vector<std::uint8_t> EncodeHeic(const std::vector<std::uint8_t>& rgba)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 85);
    heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
    heif_image* image = nullptr;
    heif_image_create(kWidth, kHeight, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, kWidth, kHeight, 8);
    int stride = 0;
    std::uint8_t* rows = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i) {
        std::uint8_t* to = rows + (i / kWidth) * std::size_t(stride) + (i % kWidth) * 3;
        std::copy_n(&rgba[i * 4], 3, to);
    }
    heif_context_encode_image(context, image, encoder, nullptr, nullptr);
    HeifWriter writer;
    heif_writer callbacks{1, &HeifWriter::Write};
    heif_context_write(context, &callbacks, &writer);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return writer.bytes;
}

std::vector<std::uint8_t> EncodeAvif(const std::vector<std::uint8_t>& rgba)
{
    avifImage* image = avifImageCreate(kWidth, kHeight, 8, AVIF_PIXEL_FORMAT_YUV420);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.pixels = const_cast<std::uint8_t*>(rgba.data());
    rgb.rowBytes = kWidth * 4;
    avifImageRGBToYUV(image, &rgb);
    avifEncoder* encoder = avifEncoderCreate();
    encoder->speed = AVIF_SPEED_FASTEST;
    encoder->maxThreads = 2;
    encoder->minQuantizer = 20;
    encoder->maxQuantizer = 30;
    avifRWData out = AVIF_DATA_EMPTY;
    avifEncoderWrite(encoder, image, &out);
    std::vector<std::uint8_t> bytes(out.data, out.data + out.size);
    avifRWDataFree(&out);
    avifEncoderDestroy(encoder);
    avifImageDestroy(image);
    return bytes;
}

std::vector<std::uint8_t> EncodeJxl(const std::vector<std::uint8_t>& rgba)
{
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    void* runner = JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    JxlEncoderSetParallelRunner(encoder, JxlThreadParallelRunner, runner);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = kWidth;
    info.ysize = kHeight;
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    JxlEncoderSetBasicInfo(encoder, &info);
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    JxlEncoderSetColorEncoding(encoder, &srgb);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 3);
    JxlEncoderSetFrameDistance(settings, 1.0f);
    std::vector<std::uint8_t> rgb(std::size_t{3} * kWidth * kHeight);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i)
        std::copy_n(&rgba[i * 4], 3, &rgb[i * 3]);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size());
    JxlEncoderCloseInput(encoder);
    std::vector<std::uint8_t> out(1 << 20);
    std::uint8_t* next = out.data();
    std::size_t avail = out.size();
    while (JxlEncoderProcessOutput(encoder, &next, &avail) == JXL_ENC_NEED_MORE_OUTPUT) {
        const std::size_t used = std::size_t(next - out.data());
        out.resize(out.size() * 2);
        next = out.data() + used;
        avail = out.size() - used;
    }
    out.resize(std::size_t(next - out.data()));
    JxlThreadParallelRunnerDestroy(runner);
    JxlEncoderDestroy(encoder);
    return out;
}

enum Format { kHeic, kAvif, kJxl };
constexpr std::array<const char*, 3> kNames = {"photo.heic", "photo.avif", "photo.jxl"};

struct Scene {
    QTemporaryDir dir;
    std::array<QString, 3> files;
    std::unique_ptr<Form> form;

    Scene()
    {
        const std::vector<std::uint8_t> rgba = MakePixels();
        const std::array<std::vector<std::uint8_t>, 3> encoded = {EncodeHeic(rgba), EncodeAvif(rgba), EncodeJxl(rgba)};
        for (std::size_t i = 0; i < files.size(); ++i) {
            files[i] = dir.filePath(QString::fromLatin1(kNames[i]));
            QFile file(files[i]);
            const auto size = qint64(encoded[i].size());
            if (size == 0 || !file.open(QIODevice::WriteOnly) ||
                file.write(reinterpret_cast<const char*>(encoded[i].data()), size) != size)
                std::fprintf(stderr, "cannot write %s\n", kNames[i]);
        }
        RegisterFontSubstitutions();
        form = CreateForm(DefaultWindowDefinition());
        BindEvents(*form);
        form->window->Created.Raise();
        form->window->show();
        QApplication::processEvents();
    }
};

Scene& TheScene()
{
    static Scene scene;
    return scene;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Label(benchmark::State& state, const QString& path)
{
    state.SetLabel(std::string(kNames[std::size_t(state.range(0))]) + ", " +
                   std::to_string(ReadAll(path).size() / 1024) + " KiB");
}

void BM_DropPhoneFormat(benchmark::State& state)
{
    Scene& scene = TheScene();
    const QString& photo = scene.files[std::size_t(state.range(0))];
    for (auto _ : state) {
        OnPhotoDropped(*scene.form, photo);
        QCoreApplication::sendPostedEvents(); // the paint it asked for
    }
    if (scene.form->workArea->Width() != kWidth)
        state.SkipWithError("the photo was not shown");
    Label(state, photo);
}
// The CPU column counts every thread of the process (the decoders' own
// threads too), which a busy machine disturbs less than the wall time.
BENCHMARK(BM_DropPhoneFormat)
    ->DenseRange(kHeic, kJxl)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BareHeif(const QByteArray& bytes)
{
    heif_context* context = heif_context_alloc();
    heif_context_read_from_memory_without_copy(context, bytes.constData(), std::size_t(bytes.size()), nullptr);
    heif_image_handle* handle = nullptr;
    heif_context_get_primary_image_handle(context, &handle);
    heif_image* image = nullptr;
    heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr);
    int stride = 0;
    benchmark::DoNotOptimize(heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride));
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
}

void BareAvif(const QByteArray& bytes)
{
    avifDecoder* decoder = avifDecoderCreate();
    // As many threads as the program gives it.
    decoder->maxThreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    avifImage* image = avifImageCreateEmpty();
    avifDecoderReadMemory(decoder, image, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                          std::size_t(bytes.size()));
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.depth = 8;
    avifRGBImageAllocatePixels(&rgb);
    avifImageYUVToRGB(image, &rgb);
    benchmark::DoNotOptimize(rgb.pixels);
    avifRGBImageFreePixels(&rgb);
    avifImageDestroy(image);
    avifDecoderDestroy(decoder);
}

void BareJxl(const QByteArray& bytes)
{
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    void* runner = JxlResizableParallelRunnerCreate(nullptr);
    JxlResizableParallelRunnerSetThreads(runner, JxlResizableParallelRunnerSuggestThreads(kWidth, kHeight));
    JxlDecoderSetParallelRunner(decoder, JxlResizableParallelRunner, runner);
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_FULL_IMAGE);
    JxlDecoderSetInput(decoder, reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    JxlDecoderCloseInput(decoder);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::vector<std::uint8_t> out;
    for (JxlDecoderStatus s = JxlDecoderProcessInput(decoder); s != JXL_DEC_FULL_IMAGE && s != JXL_DEC_ERROR &&
                                                               s != JXL_DEC_SUCCESS;
         s = JxlDecoderProcessInput(decoder)) {
        if (s == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t size = 0;
            JxlDecoderImageOutBufferSize(decoder, &format, &size);
            out.resize(size);
            JxlDecoderSetImageOutBuffer(decoder, &format, out.data(), out.size());
        } else {
            break;
        }
    }
    benchmark::DoNotOptimize(out.data());
    JxlResizableParallelRunnerDestroy(runner);
    JxlDecoderDestroy(decoder);
}

void BM_BareDecodeOfPhoneFormat(benchmark::State& state)
{
    const QString& photo = TheScene().files[std::size_t(state.range(0))];
    for (auto _ : state) {
        const QByteArray bytes = ReadAll(photo);
        switch (state.range(0)) {
        case kHeic: BareHeif(bytes); break;
        case kAvif: BareAvif(bytes); break;
        default: BareJxl(bytes); break;
        }
    }
    Label(state, photo);
}
BENCHMARK(BM_BareDecodeOfPhoneFormat)
    ->DenseRange(kHeic, kJxl)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    TuneHeapForPictures(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TheScene().form.reset(); // before the application goes
    return 0;
}
