// A 6000 × 4000 photo from drop to paint, and its save until the file is in
// place, against bare libjpeg work on the same file and pixels.
#include "tests/support/JpegMaker.h"
#include "bench/support/PhotoPixels.h"
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/Startup.h"
#include "controls/PicBox.h"
#include "output/SaveToDesktop.h"
#include "templates/PhotoDrop.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

using namespace mugrove;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

std::vector<std::uint8_t> MakePixels() { return bench::PhotoLikePixels(kWidth, kHeight, 3); }

std::vector<std::uint8_t> Encode(const std::uint8_t* rgb, int quality, bool fullChroma)
{
    return testing::MakeJpeg(rgb, kWidth, kHeight, quality, {}, fullChroma);
}

struct Scene {
    QTemporaryDir dir;
    QString photo;
    std::vector<std::uint8_t> rgb = MakePixels();
    std::unique_ptr<Form> form;

    Scene()
    {
        photo = dir.filePath(QStringLiteral("photo.jpg"));
        const std::vector<std::uint8_t> jpeg = Encode(rgb.data(), 90, false);
        QFile file(photo);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size())) != qint64(jpeg.size()))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(photo));
        file.close();
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

void BM_DropBigPhoto(benchmark::State& state)
{
    Scene& scene = TheScene();
    for (auto _ : state) {
        OnPhotoDropped(*scene.form, scene.photo);
        QCoreApplication::sendPostedEvents(); // the paint it asked for
    }
    if (scene.form->workArea->Width() != kWidth)
        state.SkipWithError("the photo was not shown");
}
BENCHMARK(BM_DropBigPhoto)->Unit(benchmark::kMillisecond)->Iterations(3);

// Reading the file and decoding it to fresh RGB rows, and nothing else.
void BM_BareDecodeOfBigPhoto(benchmark::State& state)
{
    Scene& scene = TheScene();
    for (auto _ : state) {
        QFile file(scene.photo);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        jpeg_decompress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        const std::size_t stride = std::size_t(info.output_width) * 3;
        std::unique_ptr<std::uint8_t[]> rgb(new std::uint8_t[stride * info.output_height]);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = rgb.get() + stride * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(rgb.get());
    }
}
BENCHMARK(BM_BareDecodeOfBigPhoto)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveBigPhoto(benchmark::State& state)
{
    Scene& scene = TheScene();
    OnPhotoDropped(*scene.form, scene.photo);
    QCoreApplication::sendPostedEvents();
    QTemporaryDir desktop;
    const QString folder = desktop.path();
    for (auto _ : state) {
        SaveStill(*scene.form->workArea, folder, QStringLiteral("2026年1月2日3时4分5秒.jpg"));
        state.PauseTiming();
        const QStringList saved = QDir(desktop.path()).entryList(QDir::Files);
        if (saved.size() != 1)
            state.SkipWithError("no file was saved");
        for (const QString& name : saved)
            QFile::remove(desktop.filePath(name));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveBigPhoto)->Unit(benchmark::kMillisecond)->Iterations(3);

// One copy of the box's pixels and a bare libjpeg encoding of them with the
// save's settings.
void BM_BareEncodePlusCopyOfBigPhoto(benchmark::State& state)
{
    Scene& scene = TheScene();
    std::vector<std::uint8_t> copy(scene.rgb.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), scene.rgb.data(), copy.size());
        benchmark::ClobberMemory();
        const std::vector<std::uint8_t> jpeg = Encode(copy.data(), 95, true);
        benchmark::DoNotOptimize(jpeg.data());
    }
}
BENCHMARK(BM_BareEncodePlusCopyOfBigPhoto)->Unit(benchmark::kMillisecond)->Iterations(3);

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
