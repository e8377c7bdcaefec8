// A turn, a flip and a crop of a 12-megapixel photo, each from the menu's
// action until the work area has painted it: fitted into the frame (as a
// phone photo is after 适应图框) and at its own size.
#include "tests/support/JpegMaker.h"
#include "bench/support/PhotoPixels.h"
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/Shape.h"
#include "app/program/Startup.h"
#include "controls/PicBox.h"
#include "templates/PhotoDrop.h"
#include "templates/Zoom.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace mugrove;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

struct Scene {
    QTemporaryDir dir;
    std::unique_ptr<Form> form;

    Scene()
    {
        const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
        const std::vector<std::uint8_t> rgb = bench::PhotoLikePixels(kWidth, kHeight, 3);
        const std::vector<std::uint8_t> jpeg = testing::MakeJpeg(rgb.data(), kWidth, kHeight, 90);
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
        OnPhotoDropped(*form, photo);
        QApplication::processEvents();
    }

    // The photo unshaped, fitted or at its own size, painted once.
    void Reset(bool fitted)
    {
        PicBox& area = *form->workArea;
        area.SetShape({});
        area.resize(kWidth, kHeight);
        if (fitted)
            OnFitToFrame(*form);
        area.repaint();
    }
};

Scene& TheScene()
{
    static Scene scene;
    return scene;
}

enum Action { kTurn, kFlip, kCrop };

void BM_ShapeTwelveMegapixels(benchmark::State& state)
{
    Scene& scene = TheScene();
    const auto action = Action(state.range(0));
    const bool fitted = state.range(1) == 1;
    if (scene.form->workArea->Decoded() == nullptr) {
        state.SkipWithError("the photo did not open");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        scene.Reset(fitted);
        const QSize box = scene.form->workArea->size();
        state.ResumeTiming();
        switch (action) {
        case kTurn: ReorientPicture(*scene.form, Reorientation::TurnRight); break;
        case kFlip: ReorientPicture(*scene.form, Reorientation::FlipHorizontal); break;
        case kCrop:
            CropPicture(*scene.form, QRect(box.width() / 4, box.height() / 4, box.width() / 2, box.height() / 2));
            break;
        }
        scene.form->workArea->repaint();
    }
    state.SetLabel(fitted ? "fitted" : "own size");
}
BENCHMARK(BM_ShapeTwelveMegapixels)
    ->ArgNames({"action", "fitted"})
    ->ArgsProduct({{kTurn, kFlip, kCrop}, {1, 0}})
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
