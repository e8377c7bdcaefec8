// Undo and redo through the meme's history, as the keys run them: of a
// caption step over a fitted 12-megapixel photo (a colour, a drag, a
// removal), and of a picture step (one 12-megapixel photo dropped over
// another) next to the drop of that photo. And the resident memory after
// ten such photos dropped in turn, next to that after one: the history
// keeps each photo's file bytes, not its pixels.
#include "tests/support/JpegMaker.h"
#include "bench/support/PhotoPixels.h"
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/document/MemeHistory.h"
#include "app/model/DropTarget.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/Startup.h"
#include "controls/ColorPicker.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "overlay/Captions.h"
#include "templates/Zoom.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace mugrove;

namespace {

constexpr int kWidth = 4000, kHeight = 3000; // 12 megapixels

// Photo `n` of a set: the same kind of picture, each with pixels of its own.
QString WritePhoto(const QTemporaryDir& dir, int n)
{
    std::vector<std::uint8_t> rgb = bench::PhotoLikePixels(kWidth, kHeight, 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        rgb[i] = std::uint8_t(rgb[i] + 23 * n);
    const std::vector<std::uint8_t> jpeg = testing::MakeJpeg(rgb.data(), kWidth, kHeight, 90);
    const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(n));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size())) != qint64(jpeg.size()))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return path;
}

std::unique_ptr<Form> NewWindow()
{
    RegisterFontSubstitutions();
    auto form = CreateForm(DefaultWindowDefinition());
    BindEvents(*form);
    form->window->Created.Raise();
    form->window->show();
    QApplication::processEvents();
    return form;
}

// A drop as the drop target raises it: one step of the history.
void Drop(Form& form, const QString& path)
{
    form.dropTarget->FilesDropped.Raise(path);
    QCoreApplication::sendPostedEvents(); // the paint it asked for
}

void Paint()
{
    QCoreApplication::sendPostedEvents();
}

struct Photos {
    QTemporaryDir dir;
    std::vector<QString> paths;
    Photos()
    {
        for (int n = 0; n < 10; ++n)
            paths.push_back(WritePhoto(dir, n));
    }
};

Photos& ThePhotos()
{
    static Photos photos;
    return photos;
}

MemeHistory& History(Form& form)
{
    return form.events->History();
}

// The caption steps measured: a colour (the caption repainted where it
// is), a drag (repainted where it was and where it is now) and the removal
// of an added caption (a caption made again on undo).
enum CaptionStep { kColour, kDrag, kRemoval };

// A window with a fitted 12-megapixel photo whose history holds one caption
// step of that kind.
std::unique_ptr<Form> WithCaptionStep(benchmark::State& state)
{
    auto form = NewWindow();
    Drop(*form, ThePhotos().paths[0]);
    OnFitToFrame(*form);
    if (state.range(0) == kRemoval)
        AddCaption(*form, QPoint(190, 150));
    History(*form).Start();
    switch (state.range(0)) {
    case kColour:
        form->colourPicker->SetCurrentColour(0x0000FF);
        form->colourPicker->ColourChanged.Raise();
        state.SetLabel("colour");
        break;
    case kDrag: {
        const QPoint at = form->captionOverlay->pos();
        form->captionOverlay->MouseDown.Raise(10, 10, 1);
        for (int i = 1; i <= 8; ++i)
            form->window->MouseMove.Raise(at.x() + 10 + 12 * i, at.y() + 10 - 20 * i, 1);
        form->window->MouseUp.Raise(at.x() + 106, at.y() - 150, 0);
        state.SetLabel("drag");
        break;
    }
    case kRemoval:
        form->captions.back()->RemoveChosen.Raise();
        state.SetLabel("removal");
        break;
    }
    Paint();
    if (History(*form).UndoCount() != 1)
        state.SkipWithError("the step was not kept as one");
    return form;
}

void BM_UndoCaptionStep(benchmark::State& state)
{
    auto form = WithCaptionStep(state);
    for (auto _ : state) {
        History(*form).Undo();
        Paint();
        state.PauseTiming();
        History(*form).Redo();
        Paint();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoCaptionStep)->DenseRange(kColour, kRemoval)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_RedoCaptionStep(benchmark::State& state)
{
    auto form = WithCaptionStep(state);
    for (auto _ : state) {
        state.PauseTiming();
        History(*form).Undo();
        Paint();
        state.ResumeTiming();
        History(*form).Redo();
        Paint();
    }
}
BENCHMARK(BM_RedoCaptionStep)->DenseRange(kColour, kRemoval)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_DropPhoto(benchmark::State& state)
{
    auto form = NewWindow();
    const Photos& photos = ThePhotos();
    int n = 0;
    for (auto _ : state)
        Drop(*form, photos.paths[std::size_t(n++ % 2)]);
    if (form->workArea->Width() != kWidth)
        state.SkipWithError("the photo was not shown");
}
BENCHMARK(BM_DropPhoto)->Unit(benchmark::kMillisecond)->Iterations(6);

// One photo dropped over another, undone: the first comes back, decoded
// again from the bytes the history keeps.
void BM_UndoPictureStep(benchmark::State& state)
{
    auto form = NewWindow();
    Drop(*form, ThePhotos().paths[0]);
    Drop(*form, ThePhotos().paths[1]);
    for (auto _ : state) {
        History(*form).Undo();
        Paint();
        state.PauseTiming();
        History(*form).Redo();
        Paint();
        state.ResumeTiming();
    }
    if (History(*form).UndoCount() != 2)
        state.SkipWithError("the drops were not kept as two steps");
}
BENCHMARK(BM_UndoPictureStep)->Unit(benchmark::kMillisecond)->Iterations(6);

void BM_RedoPictureStep(benchmark::State& state)
{
    auto form = NewWindow();
    Drop(*form, ThePhotos().paths[0]);
    Drop(*form, ThePhotos().paths[1]);
    for (auto _ : state) {
        state.PauseTiming();
        History(*form).Undo();
        Paint();
        state.ResumeTiming();
        History(*form).Redo();
        Paint();
    }
}
BENCHMARK(BM_RedoPictureStep)->Unit(benchmark::kMillisecond)->Iterations(6);

long ResidentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

void BM_ResidentAfterTenPhotos(benchmark::State& state)
{
    const Photos& photos = ThePhotos();
    for (auto _ : state) {
        auto form = NewWindow();
        Drop(*form, photos.paths[0]);
        const long one = ResidentKib();
        for (std::size_t n = 1; n < photos.paths.size(); ++n)
            Drop(*form, photos.paths[n]);
        const long ten = ResidentKib();
        if (History(*form).UndoCount() != photos.paths.size())
            state.SkipWithError("not every drop was kept");
        state.counters["rss_after_one_mib"] = double(one) / 1024.0;
        state.counters["rss_after_ten_mib"] = double(ten) / 1024.0;
        state.counters["growth_mib"] = double(ten - one) / 1024.0;
    }
}
BENCHMARK(BM_ResidentAfterTenPhotos)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    TuneHeapForPictures(); // as the program does
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
