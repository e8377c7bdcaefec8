// What a save's recording in the store costs next to the JPEG save of a
// 12-megapixel photo: the SHA-256 of the saved file and the record, with
// the dropped photo kept again or not; and keeping a new photo.
#include "tests/support/JpegMaker.h"
#include "app/store/MemeStore.h"
#include "bench/support/PhotoPixels.h"
#include "output/JpegEncoder.h"
#include "output/SaveToDesktop.h"
#include "output/ShownPicture.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace mugrove;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

struct Photo {
    PictureBytes camera; // the file a phone would have written
    ShownPicture shown;  // what the work area shows of it
    EncodedBytes saved;  // the save's JPEG of that
    QByteArray description = QByteArray(2000, 'm'); // a meme with a few captions

    Photo()
    {
        const std::vector<std::uint8_t> rgb = bench::PhotoLikePixels(kWidth, kHeight, 3);
        camera = testing::MakeJpeg(rgb.data(), kWidth, kHeight, 92);
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        for (int y = 0; y < kHeight; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            const std::uint8_t* from = rgb.data() + std::size_t(y) * kWidth * 3;
            for (int x = 0; x < kWidth; ++x, from += 3)
                row[x] = qRgb(from[0], from[1], from[2]);
        }
        shown = ShownPicture(std::move(image));
        saved = EncodeShownAsJpeg(shown);
    }
};

const Photo& ThePhoto()
{
    static const Photo photo;
    return photo;
}

QByteArrayView View(const auto& bytes)
{
    return QByteArrayView(bytes.data(), qsizetype(bytes.size()));
}

// The saved file's hash, its key in the store.
void BM_Sha256OfSavedFile(benchmark::State& state)
{
    const Photo& photo = ThePhoto();
    for (auto _ : state)
        benchmark::DoNotOptimize(MemeStore::HashOf(View(photo.saved)));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(photo.saved.size()));
    state.counters["MB"] = double(photo.saved.size()) / 1e6;
}
BENCHMARK(BM_Sha256OfSavedFile)->Unit(benchmark::kMillisecond);

// The save's own work but composing (nothing to compose over a bare photo):
// the encoding and the file written to the disk.
void BM_Save(benchmark::State& state)
{
    const Photo& photo = ThePhoto();
    QTemporaryDir desktop;
    for (auto _ : state) {
        const EncodedBytes jpeg = EncodeShownAsJpeg(photo.shown);
        if (!WriteBytesToFile(desktop.filePath(QStringLiteral("meme.jpg")), jpeg))
            state.SkipWithError("the file was not written");
        state.PauseTiming();
        QFile::remove(desktop.filePath(QStringLiteral("meme.jpg")));
        state.ResumeTiming();
    }
    state.counters["MB"] = double(photo.saved.size()) / 1e6;
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(8);

// What a save adds: the saved file's hash and the record, written to the
// disk; with `keepAgain` the dropped photo is kept again (it is there).
void Recording(benchmark::State& state, bool keepAgain)
{
    const Photo& photo = ThePhoto();
    QTemporaryDir folder;
    MemeStore store(folder.path());
    const std::optional<QString> key = store.KeepPicture(photo.camera); // as it came in
    for (auto _ : state) {
        const QByteArray saved = MemeStore::HashOf(View(photo.saved));
        QString why;
        if ((keepAgain && store.KeepPicture(photo.camera, &why) != key)
            || !store.Record(saved, photo.description, {*key}, &why))
            state.SkipWithError(qPrintable(why));
    }
}

void BM_Recording(benchmark::State& state)
{
    Recording(state, false);
}
BENCHMARK(BM_Recording)->Unit(benchmark::kMillisecond);

void BM_RecordingKeepingThePhotoAgain(benchmark::State& state)
{
    Recording(state, true);
}
BENCHMARK(BM_RecordingKeepingThePhotoAgain)->Unit(benchmark::kMillisecond);

// A dropped photo kept for the first time: its hash and its file.
void BM_KeepNewPhoto(benchmark::State& state)
{
    const Photo& photo = ThePhoto();
    QTemporaryDir folder;
    MemeStore store(folder.path());
    for (auto _ : state) {
        const std::optional<QString> key = store.KeepPicture(photo.camera);
        state.PauseTiming();
        if (!key || !QFile::remove(folder.filePath(QStringLiteral("pictures/") + *key)))
            state.SkipWithError("the photo was not kept");
        state.ResumeTiming();
    }
    state.counters["MB"] = double(photo.camera.size()) / 1e6;
}
BENCHMARK(BM_KeepNewPhoto)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
