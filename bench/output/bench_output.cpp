// The snapshot against a plain copy of its pixel bytes, and the JPEG saving
// encoder against a bare libjpeg encoding of the same pixels.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/Startup.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/BmpLayout.h"
#include "output/Clipboard.h"
#include "output/JpegEncoder.h"
#include "output/Snapshot.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

using namespace mugrove;

namespace {

// The window as it starts (the box at its start size, no template chosen
// yet), with a caption over the box.
struct Scene {
    std::unique_ptr<Form> form;
    QWidget* box = nullptr;
    PictureBytes snapshot;
    std::vector<std::uint8_t> rgb; // the snapshot's pixels, top row first

    Scene()
    {
        RegisterFontSubstitutions();
        form = CreateForm(DefaultWindowDefinition());
        BindEvents(*form);
        form->window->Created.Raise();
        form->window->show();
        QApplication::processEvents();
        form->captionOverlay->SetCaption(QStringLiteral("这里显示文字,可拖动"));
        box = &form->workArea->NativeWindow();
        snapshot = TakeSnapshot(box, box->width(), box->height());
        const QImage pixels = DecodeToImage(snapshot)->convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < pixels.height(); ++y)
            rgb.insert(rgb.end(), pixels.constScanLine(y), pixels.constScanLine(y) + 3 * pixels.width());
    }
};

Scene& TheScene()
{
    static Scene scene;
    return scene;
}

void BM_Snapshot(benchmark::State& state)
{
    Scene& scene = TheScene();
    for (auto _ : state) {
        PictureBytes shot = TakeSnapshot(scene.box, 379, 384);
        benchmark::DoNotOptimize(shot.data());
    }
}
BENCHMARK(BM_Snapshot);

// The two halves of the snapshot: drawing the widgets, and packing the rows.
void BM_SnapshotCapture(benchmark::State& state)
{
    Scene& scene = TheScene();
    for (auto _ : state) {
        QImage image = CaptureWindow(scene.box);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_SnapshotCapture);

void BM_SnapshotPacking(benchmark::State& state)
{
    const QImage image = CaptureWindow(TheScene().box);
    for (auto _ : state) {
        PictureBytes bmp = PackBmp24(ShownPicture(image));
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_SnapshotPacking);

void BM_CopyOfSnapshotPixelBytes(benchmark::State& state)
{
    std::vector<std::uint8_t> from(437760, 0x5A), to(437760);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyOfSnapshotPixelBytes);

// The save's encoding, from the 32-bit picture the snapshot is made of.
void BM_JpegOfShownImage(benchmark::State& state)
{
    Scene& scene = TheScene();
    const ShownPicture shown(CaptureWindow(scene.box));
    for (auto _ : state) {
        EncodedBytes jpeg = EncodeShownAsJpeg(shown);
        benchmark::DoNotOptimize(jpeg.data());
    }
}
BENCHMARK(BM_JpegOfShownImage);

// libjpeg with the same settings and nothing around it: RGB rows top-down
// into its own memory destination.
void BM_BareLibjpeg(benchmark::State& state)
{
    Scene& scene = TheScene();
    for (auto _ : state) {
        jpeg_compress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        unsigned char* out = nullptr;
        unsigned long outSize = 0;
        jpeg_mem_dest(&info, &out, &outSize);
        info.image_width = 379;
        info.image_height = 384;
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 95, TRUE);
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = scene.rgb.data() + std::size_t{3} * 379 * info.next_scanline;
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
}
BENCHMARK(BM_BareLibjpeg);

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
    return 0;
}
