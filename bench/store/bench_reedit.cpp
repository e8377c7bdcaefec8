// Editing a saved 12-megapixel photo meme again, next to the drop of that
// photo; and what a save's recording in the store costs in the window,
// next to the JPEG save itself: the save of the work area as shown, then
// the meme recorded (the photo kept for the first time, or already kept).
#include "tests/support/JpegMaker.h"
#include "bench/support/PhotoPixels.h"
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/document/MemeHistory.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/SavedMemes.h"
#include "app/program/Startup.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/SaveToDesktop.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace mugrove;

namespace {

constexpr int kWidth = 4000, kHeight = 3000; // 12 megapixels

struct Files {
    QTemporaryDir dir;
    QString photo;
    Files()
    {
        const std::vector<std::uint8_t> rgb = bench::PhotoLikePixels(kWidth, kHeight, 3);
        const std::vector<std::uint8_t> jpeg = testing::MakeJpeg(rgb.data(), kWidth, kHeight, 90);
        photo = dir.filePath(QStringLiteral("photo.jpg"));
        QFile file(photo);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size())) != qint64(jpeg.size()))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(photo));
    }
    QString Store() const { return dir.filePath(QStringLiteral("store")); }
};

Files& TheFiles()
{
    static Files files;
    return files;
}

std::unique_ptr<Form> NewWindow(const QString& store, SaveEnvironment environment = {})
{
    RegisterFontSubstitutions();
    auto form = CreateForm(DefaultWindowDefinition());
    BindEvents(*form, std::move(environment));
    form->events->SetStore(MemeStore(store));
    form->window->Created.Raise();
    form->window->show();
    QApplication::processEvents();
    return form;
}

void Drop(Form& form, const QString& path)
{
    form.dropTarget->FilesDropped.Raise(path);
    QCoreApplication::sendPostedEvents(); // the paint it asked for
}

// The photo with a caption over it, saved once as a JPEG with its record:
// the saved file's path.
QString SavedMeme(Form& form, const QString& desktop)
{
    Drop(form, TheFiles().photo);
    form.captionBox->SetContent(QStringLiteral("重新编辑 Again"));
    form.captionBox->ContentChanged.Raise();
    const OutputOutcome saved = SaveStill(*form.workArea, desktop, QStringLiteral("meme.jpg"));
    QString why;
    if (saved.kind != OutputOutcome::Kind::Written
        || !RecordSavedMeme(form.events->Store(), ReadMeme(form), saved.path, &why))
        std::fprintf(stderr, "the meme was not saved: %s\n", qPrintable(why));
    return saved.path;
}

// The photo dropped over its saved meme.
void BM_DropPhoto(benchmark::State& state)
{
    QTemporaryDir desktop;
    auto form = NewWindow(TheFiles().Store());
    const QString saved = SavedMeme(*form, desktop.path());
    for (auto _ : state) {
        state.PauseTiming();
        Drop(*form, saved);
        state.ResumeTiming();
        Drop(*form, TheFiles().photo);
    }
    if (form->workArea->Width() != kWidth)
        state.SkipWithError("the photo was not shown");
}
BENCHMARK(BM_DropPhoto)->Unit(benchmark::kMillisecond)->Iterations(6);

// The saved meme shown as a picture, its menu opened: whether 重新编辑 is
// offered needs the record found by the shown file's hash and the photo
// read back from the store and checked.
void BM_MenuOverSavedMeme(benchmark::State& state)
{
    QTemporaryDir desktop;
    auto form = NewWindow(TheFiles().Store());
    Drop(*form, SavedMeme(*form, desktop.path()));
    for (auto _ : state)
        if (!FindShownMeme(*form))
            state.SkipWithError("the saved meme was not found");
}
BENCHMARK(BM_MenuOverSavedMeme)->Unit(benchmark::kMillisecond)->Iterations(6);

// 重新编辑 chosen in that menu: the photo decoded and shown with its caption,
// as one step.
void BM_ReEditPhotoMeme(benchmark::State& state)
{
    QTemporaryDir desktop;
    auto form = NewWindow(TheFiles().Store());
    const QString saved = SavedMeme(*form, desktop.path());
    for (auto _ : state) {
        state.PauseTiming();
        Drop(*form, saved);
        const std::optional<Meme> meme = FindShownMeme(*form);
        if (!meme) {
            state.SkipWithError("the saved meme was not found");
            break;
        }
        state.ResumeTiming();
        ReEdit(*form, *meme);
        QCoreApplication::sendPostedEvents();
    }
    if (form->workArea->Width() != kWidth || form->captionOverlay->Caption() != QStringLiteral("重新编辑 Again"))
        state.SkipWithError("the meme did not come back");
}
BENCHMARK(BM_ReEditPhotoMeme)->Unit(benchmark::kMillisecond)->Iterations(6);

// The JPEG save of the photo shown at its own size, as 保存 writes it.
void BM_SaveJpeg(benchmark::State& state)
{
    QTemporaryDir desktop;
    auto form = NewWindow(TheFiles().Store());
    Drop(*form, TheFiles().photo);
    for (auto _ : state) {
        const OutputOutcome saved = SaveStill(*form->workArea, desktop.path(), QStringLiteral("meme.jpg"));
        if (saved.kind != OutputOutcome::Kind::Written)
            state.SkipWithError("not saved");
        state.PauseTiming();
        QFile::remove(saved.path);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveJpeg)->Unit(benchmark::kMillisecond)->Iterations(6);

// 保存 clicked: the same save, and the meme handed to a thread that records
// it; the window waits for the record only when it closes.
void BM_SaveClicked(benchmark::State& state)
{
    QTemporaryDir desktop, store;
    SaveEnvironment environment;
    environment.desktopFolder = [path = desktop.path()] { return path; };
    auto form = NewWindow(store.path(), environment);
    Drop(*form, TheFiles().photo);
    for (auto _ : state) {
        form->events->OnSaveClicked();
        state.PauseTiming();
        form->events->WaitForRecords();
        for (const QString& name : QDir(desktop.path()).entryList(QDir::Files))
            QFile::remove(desktop.filePath(name));
        state.ResumeTiming();
    }
    if (QDir(store.path() + QStringLiteral("/records")).entryList(QDir::Files).isEmpty())
        state.SkipWithError("nothing was recorded");
}
BENCHMARK(BM_SaveClicked)->Unit(benchmark::kMillisecond)->Iterations(6);

// The recording thread's work: the meme recorded, with the photo kept for
// the first time (`fresh`) or kept already.
void Recording(benchmark::State& state, bool fresh)
{
    QTemporaryDir desktop, store;
    auto form = NewWindow(store.path());
    Drop(*form, TheFiles().photo);
    const OutputOutcome saved = SaveStill(*form->workArea, desktop.path(), QStringLiteral("meme.jpg"));
    MemeStore& kept = form->events->Store();
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            QDir(store.path()).removeRecursively();
            state.ResumeTiming();
        }
        QString why;
        if (!RecordSavedMeme(kept, ReadMeme(*form), saved.path, &why))
            state.SkipWithError(qPrintable(why));
    }
}

void BM_RecordingNewPhoto(benchmark::State& state)
{
    Recording(state, true);
}
BENCHMARK(BM_RecordingNewPhoto)->Unit(benchmark::kMillisecond)->Iterations(6);

void BM_RecordingKeptPhoto(benchmark::State& state)
{
    Recording(state, false);
}
BENCHMARK(BM_RecordingKeptPhoto)->Unit(benchmark::kMillisecond)->Iterations(6);

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
