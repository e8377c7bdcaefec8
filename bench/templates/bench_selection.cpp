// One template selection as the user makes it (decode, resize, repaint of the
// shown window), per template, against a bare libjpeg-turbo decode of the
// same file to RGB rows.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/Startup.h"
#include "controls/PicBox.h"
#include "templates/Catalog.h"
#include "templates/Selection.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

using namespace mugrove;

namespace {

std::unique_ptr<Form>& FormSlot()
{
    static std::unique_ptr<Form> form;
    return form;
}

Form* TheForm()
{
    std::unique_ptr<Form>& form = FormSlot();
    if (!form) form = [] {
        auto f = CreateForm(DefaultWindowDefinition());
        BindEvents(*f);
        f->window->Created.Raise();
        f->window->show();
        QApplication::processEvents();
        return f;
    }();
    return form.get();
}

void BM_Select(benchmark::State& state)
{
    Form& form = *TheForm();
    const int index = static_cast<int>(state.range(0));
    form.templateList->setCurrentRow(index);
    for (auto _ : state) {
        state.PauseTiming();
        form.workArea->SetWidth(10); // so that every selection resizes
        state.ResumeTiming();
        OnTemplateSelected(form);
        // The paint the selection asked for, as the event loop would run it.
        QCoreApplication::sendPostedEvents();
    }
    state.SetLabel(TemplateCatalog::Find(index)->label);
}

struct Bare {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
};

void BM_BareDecode(benchmark::State& state)
{
    const TemplateEntry& entry = *TemplateCatalog::Find(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Bare d{};
        d.info.err = jpeg_std_error(&d.errors);
        jpeg_create_decompress(&d.info);
        jpeg_mem_src(&d.info, entry.picture.data(), static_cast<unsigned long>(entry.picture.size()));
        jpeg_read_header(&d.info, TRUE);
        d.info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&d.info);
        const std::size_t stride = std::size_t(d.info.output_width) * 3;
        // A fresh picture each time, as every decode of a new picture needs.
        std::unique_ptr<std::uint8_t[]> rgb(new std::uint8_t[stride * d.info.output_height]);
        while (d.info.output_scanline < d.info.output_height) {
            JSAMPROW row = rgb.get() + stride * d.info.output_scanline;
            jpeg_read_scanlines(&d.info, &row, 1);
        }
        jpeg_finish_decompress(&d.info);
        jpeg_destroy_decompress(&d.info);
        benchmark::DoNotOptimize(rgb.get());
    }
    state.SetLabel(entry.label);
}

// With MUGROVE_BENCH_ITERATIONS set every case runs that many times, so a
// run under callgrind (dumping after each case) counts instructions per
// case, free of the machine's load.
void Register()
{
    const int iterations = qEnvironmentVariableIntValue("MUGROVE_BENCH_ITERATIONS");
    for (auto* bench : {benchmark::RegisterBenchmark("BM_Select", BM_Select),
                        benchmark::RegisterBenchmark("BM_BareDecode", BM_BareDecode)}) {
        bench->DenseRange(0, TemplateCatalog::kCount - 1)->Unit(benchmark::kMicrosecond);
        if (iterations > 0)
            bench->Iterations(iterations);
    }
}

} // namespace

int main(int argc, char** argv)
{
    TuneHeapForPictures(); // as the program does
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FormSlot().reset(); // before the application goes
    return 0;
}
