// Size-limited saves against the general tools, kind by kind: a flat
// cartoon, a photo with grain, an already dithered GIF, a screen recording
// and a dark clip (tools/make-test-data.py draws them), each saved through the
// window as an animated GIF and as a still JPEG within a limit, beside the
// best that a ladder of gifsicle (scale × --lossy × --colors over the
// unlimited GIF) and of cjpeg (4:2:0 and 4:4:4, with -optimize, over
// quality) fits within the same limit. Quality is the mean SSIM of R, G and
// B against the unlimited save (tests/support/ColourSsim.h), checked against
// ffmpeg's ssim filter on gbrp frames. Each row also says whether the
// search's own likeness (Similarity) ranks candidate files as that measure
// does. Then the two named cases: a busy 400 × 300 GIF and a 3000 × 2000
// noisy photo, each within 1 MB.
//
// The tools are Debian's gifsicle, cjpeg (libjpeg-turbo-progs), ffmpeg and
// python3; a row whose tool is missing says so and is skipped. The material
// is written once into MUGROVE_FIT_MATERIAL (default: bench/fit-material in
// the build folder); the tests' small set is tests/data/fit.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "app/program/SizeLimitMenu.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/GifEncoder.h"
#include "output/SizeLimit.h"
#include "templates/PhotoDrop.h"
#include "tests/output/GifReadBack.h"
#include "tests/support/ColourSsim.h"
#include "tests/support/HandTimer.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

const char* const kKinds[] = {"cartoon", "grain", "dithered", "screen", "dark"};

bool Have(const char* tool)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v %1 >/dev/null").arg(QLatin1String(tool))}) == 0;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs `program` with `arguments`; its standard error, or nothing when it failed.
std::optional<QByteArray> Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardError();
}

// The bench-sized material, made on first use.
QString MaterialFolder()
{
    const QByteArray set = qgetenv("MUGROVE_FIT_MATERIAL");
    const QString folder = set.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/fit-material")
                                         : QString::fromLocal8Bit(set);
    if (QFileInfo::exists(folder + QStringLiteral("/photo.png")))
        return folder;
    if (!Have("ffmpeg") || !Have("python3"))
        return {};
    std::fprintf(stderr, "writing the material into %s (a minute or two)\n", qPrintable(folder));
    if (!Run(QStringLiteral("python3"), {QStringLiteral(MUGROVE_SOURCE_DIR "/tools/make-test-data.py"),
                                         QStringLiteral("fit-bench"), folder}))
        return {};
    return folder;
}

// ffmpeg's own figure: the ssim filter's "All" over gbrp frames of `other`
// scaled back (bicubic) to `reference`'s size; -1 when ffmpeg is missing.
double FfmpegSsim(const QString& reference, const QString& other, QSize size)
{
    if (!Have("ffmpeg"))
        return -1;
    const QString graph = QStringLiteral("[1:v]scale=%1:%2:flags=bicubic,format=gbrp[b];[0:v]format=gbrp[a];[a][b]ssim")
                              .arg(size.width())
                              .arg(size.height());
    const std::optional<QByteArray> log = Run(
        QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-i"), reference, QStringLiteral("-i"),
                                   other, QStringLiteral("-lavfi"), graph, QStringLiteral("-f"), QStringLiteral("null"),
                                   QStringLiteral("-")});
    if (!log)
        return -1;
    const qsizetype at = log->lastIndexOf("All:");
    return at < 0 ? -1 : log->mid(at + 4).split(' ').front().toDouble();
}

// The window, its events bound, saving onto a desktop of its own.
struct Scene {
    QTemporaryDir home;
    QString desktop = home.filePath(QStringLiteral("Desktop"));
    std::unique_ptr<Form> form;

    Scene()
    {
        QDir().mkpath(desktop);
        RegisterFontSubstitutions();
        form = CreateForm(DefaultWindowDefinition());
        SaveEnvironment environment;
        environment.desktopFolder = [this] { return desktop; };
        BindEvents(*form, environment);
        form->window->show();
        QApplication::processEvents();
        form->workArea->SetFrameTimer(std::make_unique<HandTimer>());
    }

    // Opens `file` as a drop does, at its own size, with a white caption
    // along the bottom.
    bool Open(const QString& file, QSize size)
    {
        if (!ShowFirstPicture(*form, {file}))
            return false;
        form->workArea->SetWidth(size.width());
        form->workArea->SetHeight(size.height());
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("我就静静地看着你"));
        caption.SetTextColour(0x00FFFFFF);
        caption.SetTextEffect(3);
        caption.SetFontSize(std::max(9, size.height() / 15));
        caption.SetFontBold(1);
        caption.SetWidth(size.width() - 20);
        caption.SetHeight(size.height() / 6);
        caption.SetLeft(form->workArea->Left() + 10);
        caption.SetTop(form->workArea->Top() + size.height() - size.height() / 5);
        QApplication::processEvents();
        return true;
    }

    // Saves with `limit` (0 for none) and gives the file's bytes and the time
    // the save took.
    QByteArray Save(ByteLimit limit, double& seconds)
    {
        auto* menu = form->saveButton->findChild<QMenu*>(QStringLiteral("sizeLimitMenu"));
        if (limit == 0) {
            menu->actions().at(0)->trigger();
        } else {
            menu->actions().at(4)->trigger();
            for (auto* dialog : form->saveButton->findChildren<QDialog*>(QStringLiteral("sizeLimitDialog")))
                if (dialog->isVisible()) {
                    dialog->findChild<QSpinBox*>()->setValue(int(limit / 1000));
                    dialog->accept();
                }
            QApplication::processEvents();
        }
        for (const QString& old : QDir(desktop).entryList(QDir::Files))
            QFile::remove(desktop + u'/' + old);
        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(form->saveButton, "click");
        while (form->events->AnimatedSaveRunning()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            QApplication::processEvents();
        }
        seconds = double(clock.nsecsElapsed()) / 1e9;
        const QStringList files = QDir(desktop).entryList(QDir::Files);
        return files.isEmpty() ? QByteArray() : ReadAll(desktop + u'/' + files.first());
    }
};

std::unique_ptr<Scene> theScene; // let go before the application

Scene& TheScene()
{
    if (!theScene)
        theScene = std::make_unique<Scene>();
    return *theScene;
}

// One line of the table printed at the end.
struct Row {
    std::string name;
    double limit = 0, ours = 0, oursBytes = 0, tool = 0, toolBytes = 0, seconds = 0;
    std::string toolSetting, oursSetting, ranking;
};
std::vector<Row> table;

// ---------------------------------------------------------------- GIF

struct LadderFit {
    double ssim = 0, bytes = 0;
    QString setting;
};

// gifsicle over the unlimited file: for each --colors and --lossy, the
// largest scale (in twentieths, down to 0.3) that fits, and the best of those.
LadderFit GifsicleBest(const QString& unlimitedPath, const PlayedGif& reference, ByteLimit limit, const QString& work,
                       int& runs)
{
    LadderFit best;
    const QString out = work + QStringLiteral("/gifsicle.gif");
    const auto encode = [&](double scale, int lossy, int colours) -> QByteArray {
        QStringList arguments{QStringLiteral("-O3"), QStringLiteral("--scale"), QString::number(scale)};
        if (lossy > 0)
            arguments << QStringLiteral("--lossy=%1").arg(lossy);
        if (colours > 0)
            arguments << QStringLiteral("--colors") << QString::number(colours);
        arguments << unlimitedPath << QStringLiteral("-o") << out;
        ++runs;
        return Run(QStringLiteral("gifsicle"), arguments) ? ReadAll(out) : QByteArray();
    };
    for (const int colours : {0, 256, 128, 64, 32})
        for (const int lossy : {0, 20, 40, 60, 80, 120, 200}) {
            // Halving the range of scales: size grows with scale.
            int fits = 5, tooBig = 21; // in twentieths; 6 is 0.3
            QByteArray kept;
            {
                const QByteArray smallest = encode(0.3, lossy, colours);
                if (smallest.isEmpty() || ByteLimit(smallest.size()) > limit)
                    continue;
                fits = 6, kept = smallest;
            }
            while (tooBig - fits > 1) {
                const int mid = (fits + tooBig) / 2;
                const QByteArray bytes = encode(mid / 20.0, lossy, colours);
                if (!bytes.isEmpty() && ByteLimit(bytes.size()) <= limit)
                    fits = mid, kept = bytes;
                else
                    tooBig = mid;
            }
            const double ssim = MeanRgbSsim(reference, PlayGif(kept));
            if (ssim > best.ssim)
                best = {ssim, double(kept.size()),
                        QStringLiteral("scale %1, lossy %2, %3 colours")
                            .arg(fits / 20.0)
                            .arg(lossy)
                            .arg(colours ? QString::number(colours) : QStringLiteral("own"))};
        }
    return best;
}

// How the search's own likeness ranks candidate files against the measure
// that counts: candidates at several scales, palettes and lossiness made
// from the unlimited file's frames with the encoder's own settings, judged
// both ways against those frames. Gives Kendall's tau over all candidates,
// and of those within the limit the measure's SSIM of the one each would pick.
struct Ranking {
    double tau = 0, pickedBySearch = 0, pickedByMeasure = 0;
    int candidates = 0;
};

Ranking RankGifCandidates(const PlayedGif& reference, ByteLimit limit)
{
    struct Candidate {
        double search = 0, measure = 0, bytes = 0;
    };
    std::vector<Candidate> candidates;
    const QSize box(reference.width, reference.height);
    const struct {
        int colours, lossiness;
    } palettes[] = {{256, 0}, {128, 4}, {64, 8}, {32, 12}, {16, 16}, {256, 12}, {256, 24}, {256, 40}};
    for (const auto& palette : palettes)
        for (const double scale : {1.0, 0.85, 0.7, 0.6, 0.5}) {
            const QSize size(std::max(1, int(std::lround(box.width() * scale))),
                             std::max(1, int(std::lround(box.height() * scale))));
            QByteArray file;
            GifEncoder encoder;
            encoder.SetMaxColours(palette.colours);
            encoder.SetLossiness(palette.lossiness);
            encoder.Begin(size.width(), size.height(), 0, [&file](std::span<const std::uint8_t> b) {
                file.append(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
                return true;
            });
            for (std::size_t i = 0; i < reference.frames.size(); ++i)
                encoder.AddFrame(size == box ? reference.frames[i]
                                             : reference.frames[i].scaled(size, Qt::IgnoreAspectRatio,
                                                                          Qt::SmoothTransformation),
                                 reference.delaysCs[i] * 10);
            encoder.Finish();
            const PlayedGif played = PlayGif(file);
            Candidate c;
            c.bytes = double(file.size());
            for (std::size_t i = 0; i < reference.frames.size() && i < played.frames.size(); ++i) {
                const QImage back = played.frames[i].scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                c.search += Similarity(reference.frames[i], back);
            }
            c.search /= double(reference.frames.size());
            c.measure = MeanRgbSsim(reference, played);
            candidates.push_back(c);
        }
    Ranking ranking;
    ranking.candidates = int(candidates.size());
    int concordant = 0, discordant = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        for (std::size_t j = i + 1; j < candidates.size(); ++j) {
            const double a = candidates[i].search - candidates[j].search;
            const double b = candidates[i].measure - candidates[j].measure;
            if (a * b > 0)
                ++concordant;
            else if (a * b < 0)
                ++discordant;
        }
    ranking.tau = concordant + discordant ? double(concordant - discordant) / (concordant + discordant) : 0;
    double bestSearch = -1, bestMeasure = -1;
    for (const Candidate& c : candidates) {
        if (c.bytes > double(limit))
            continue;
        if (c.search > bestSearch)
            bestSearch = c.search, ranking.pickedBySearch = c.measure;
        bestMeasure = std::max(bestMeasure, c.measure);
    }
    ranking.pickedByMeasure = std::max(0.0, bestMeasure);
    return ranking;
}

// Saves `file` (w × h) through the window unlimited and within `limit` (a
// share of the unlimited file when below 1), and measures it against the
// ladder.
void GifRow(benchmark::State& state, const std::string& name, const QString& file, QSize size, double limitOrShare,
            bool rank)
{
    Scene& scene = TheScene();
    if (!scene.Open(file, size)) {
        state.SkipWithError("the material could not be opened");
        return;
    }
    double unlimitedSeconds = 0, seconds = 0;
    QByteArray unlimited, limited;
    ByteLimit limit = 0;
    for (auto _ : state) {
        unlimited = scene.Save(0, unlimitedSeconds);
        limit = limitOrShare < 1 ? ByteLimit(double(unlimited.size()) * limitOrShare) / 1000 * 1000
                                 : ByteLimit(limitOrShare);
        limited = scene.Save(limit, seconds);
    }
    const PlayedGif reference = PlayGif(unlimited), ours = PlayGif(limited);
    Row row;
    row.name = name + " GIF";
    row.limit = double(limit);
    row.ours = MeanRgbSsim(reference, ours);
    row.oursBytes = double(limited.size());
    row.seconds = seconds;
    row.oursSetting = QStringLiteral("%1 × %2, %3 frames").arg(ours.width).arg(ours.height).arg(ours.frames.size()).toStdString();
    state.counters["unlimited_MB"] = double(unlimited.size()) / 1e6;
    state.counters["unlimited_s"] = unlimitedSeconds;
    state.counters["limit_MB"] = double(limit) / 1e6;
    state.counters["MB"] = row.oursBytes / 1e6;
    state.counters["s"] = seconds;
    state.counters["ssim"] = row.ours;
    state.counters["width"] = ours.width;

    const QString work = scene.home.filePath(QStringLiteral("ladder"));
    QDir().mkpath(work);
    const QString unlimitedPath = work + QStringLiteral("/unlimited.gif"), oursPath = work + QStringLiteral("/ours.gif");
    WriteAll(unlimitedPath, unlimited);
    WriteAll(oursPath, limited);
    state.counters["ssim_ffmpeg"] = FfmpegSsim(unlimitedPath, oursPath, QSize(reference.width, reference.height));
    if (rank) {
        const Ranking ranking = RankGifCandidates(reference, limit);
        state.counters["rank_tau"] = ranking.tau;
        row.ranking = QStringLiteral("tau %1; picks %2 vs %3")
                          .arg(ranking.tau, 0, 'f', 2)
                          .arg(ranking.pickedBySearch, 0, 'f', 3)
                          .arg(ranking.pickedByMeasure, 0, 'f', 3)
                          .toStdString();
    }
    if (!Have("gifsicle")) {
        table.push_back(row);
        state.SkipWithError("gifsicle is not installed (apt-get install gifsicle)");
        return;
    }
    int runs = 0;
    QElapsedTimer clock;
    clock.start();
    const LadderFit best = GifsicleBest(unlimitedPath, reference, limit, work, runs);
    row.tool = best.ssim;
    row.toolBytes = best.bytes;
    row.toolSetting = best.setting.toStdString();
    state.counters["gifsicle_ssim"] = best.ssim;
    state.counters["gifsicle_MB"] = best.bytes / 1e6;
    state.counters["gifsicle_runs"] = runs;
    state.counters["gifsicle_s"] = double(clock.nsecsElapsed()) / 1e9;
    state.SetLabel(best.setting.toStdString());
    table.push_back(row);
}

// ---------------------------------------------------------------- JPEG

QImage Decoded(const QByteArray& jpeg)
{
    return QImage::fromData(jpeg, "JPG").convertToFormat(QImage::Format_RGB32);
}

// cjpeg with -optimize, 4:2:0 and 4:4:4: the highest quality that fits.
LadderFit CjpegBest(const QImage& still, ByteLimit limit, const QString& work)
{
    const QString in = work + QStringLiteral("/still.ppm"), out = work + QStringLiteral("/cjpeg.jpg");
    still.convertToFormat(QImage::Format_RGB888).save(in, "PPM");
    LadderFit best;
    for (const char* sample : {"2x2", "1x1"}) {
        const auto encode = [&](int quality) {
            return Run(QStringLiteral("cjpeg"), {QStringLiteral("-sample"), QLatin1String(sample), QStringLiteral("-optimize"),
                                                 QStringLiteral("-quality"), QString::number(quality),
                                                 QStringLiteral("-outfile"), out, in})
                ? ReadAll(out)
                : QByteArray();
        };
        int fits = 0, tooBig = 101;
        QByteArray kept;
        while (tooBig - fits > 1) {
            const int mid = (fits + tooBig) / 2;
            const QByteArray bytes = encode(mid);
            if (!bytes.isEmpty() && ByteLimit(bytes.size()) <= limit)
                fits = mid, kept = bytes;
            else
                tooBig = mid;
        }
        if (kept.isEmpty())
            continue;
        const double ssim = RgbSsim(still, Decoded(kept));
        if (ssim > best.ssim)
            best = {ssim, double(kept.size()),
                    QStringLiteral("%1 quality %2").arg(sample[0] == '2' ? QStringLiteral("4:2:0") : QStringLiteral("4:4:4")).arg(fits)};
    }
    return best;
}

// The search's likeness against the measure over JPEGs of both samplings
// and a range of qualities, as for GIFs.
Ranking RankJpegCandidates(const QImage& still, ByteLimit limit)
{
    const ShownPicture shown(still);
    std::vector<std::array<double, 3>> candidates; // search, measure, bytes
    for (const bool half : {false, true})
        for (int quality = 40; quality <= 95; quality += 5) {
            const EncodedBytes bytes = EncodeShownAsJpeg(shown, quality, true, half);
            const QImage back = QImage::fromData(bytes.data(), int(bytes.size()), "JPG").convertToFormat(QImage::Format_RGB32);
            candidates.push_back({Similarity(still, back), RgbSsim(still, back), double(bytes.size())});
        }
    Ranking ranking;
    int concordant = 0, discordant = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        for (std::size_t j = i + 1; j < candidates.size(); ++j) {
            const double d = (candidates[i][0] - candidates[j][0]) * (candidates[i][1] - candidates[j][1]);
            concordant += d > 0;
            discordant += d < 0;
        }
    ranking.tau = concordant + discordant ? double(concordant - discordant) / (concordant + discordant) : 0;
    double bestSearch = -1;
    for (const auto& c : candidates)
        if (c[2] <= double(limit)) {
            if (c[0] > bestSearch)
                bestSearch = c[0], ranking.pickedBySearch = c[1];
            ranking.pickedByMeasure = std::max(ranking.pickedByMeasure, c[1]);
        }
    return ranking;
}

void JpegRow(benchmark::State& state, const std::string& name, const QString& file, double limitOrShare, bool rank)
{
    const QImage still = QImage(file).convertToFormat(QImage::Format_RGB32);
    if (still.isNull()) {
        state.SkipWithError("the still could not be read");
        return;
    }
    const ShownPicture shown(still);
    const ByteLimit limit = limitOrShare < 1
        ? ByteLimit(double(EncodeShownAsJpeg(shown).size()) * limitOrShare) / 1000 * 1000
        : ByteLimit(limitOrShare);
    EncodedBytes ours;
    QElapsedTimer clock;
    for (auto _ : state) {
        clock.start();
        ours = FitJpeg(shown, limit);
    }
    Row row;
    row.name = name + " JPEG";
    row.limit = double(limit);
    row.seconds = double(clock.nsecsElapsed()) / 1e9;
    const QByteArray ourBytes(reinterpret_cast<const char*>(ours.data()), qsizetype(ours.size()));
    const QImage back = Decoded(ourBytes);
    row.ours = RgbSsim(still, back);
    row.oursBytes = double(ours.size());
    row.oursSetting = QStringLiteral("%1 × %2").arg(back.width()).arg(back.height()).toStdString();
    state.counters["limit_MB"] = double(limit) / 1e6;
    state.counters["MB"] = row.oursBytes / 1e6;
    state.counters["ssim"] = row.ours;
    state.counters["s"] = row.seconds;
    QTemporaryDir work;
    if (Have("ffmpeg")) {
        const QString a = work.filePath(QStringLiteral("still.png")), b = work.filePath(QStringLiteral("ours.jpg"));
        still.save(a, "PNG");
        WriteAll(b, ourBytes);
        state.counters["ssim_ffmpeg"] = FfmpegSsim(a, b, still.size());
    }
    if (rank) {
        const Ranking ranking = RankJpegCandidates(still, limit);
        state.counters["rank_tau"] = ranking.tau;
        row.ranking = QStringLiteral("tau %1; picks %2 vs %3")
                          .arg(ranking.tau, 0, 'f', 2)
                          .arg(ranking.pickedBySearch, 0, 'f', 3)
                          .arg(ranking.pickedByMeasure, 0, 'f', 3)
                          .toStdString();
    }
    if (!Have("cjpeg")) {
        table.push_back(row);
        state.SkipWithError("cjpeg is not installed (apt-get install libjpeg-turbo-progs)");
        return;
    }
    const LadderFit best = CjpegBest(still, limit, work.path());
    row.tool = best.ssim;
    row.toolBytes = best.bytes;
    row.toolSetting = best.setting.toStdString();
    state.counters["cjpeg_ssim"] = best.ssim;
    state.counters["cjpeg_MB"] = best.bytes / 1e6;
    state.SetLabel(best.setting.toStdString());
    table.push_back(row);
}

// ---------------------------------------------------------------- the rows

// The share of the unlimited file each kind's limit allows.
constexpr double kShare = 0.25;

void RegisterRows(const QString& material)
{
    const auto add = [](const std::string& name, auto&& body) {
        benchmark::RegisterBenchmark(name.c_str(), std::forward<decltype(body)>(body))
            ->Unit(benchmark::kSecond)
            ->UseRealTime()
            ->Iterations(1);
    };
    const QString small = QStringLiteral(MUGROVE_SOURCE_DIR "/tests/data/fit");
    // The tests' small set, with the tests' limits: its gifsicle and cjpeg
    // figures are the ones the tests hold the saves to.
    for (const char* kind : kKinds) {
        const QString moving = QString::fromLatin1(kind) + (kind == std::string("cartoon") || kind == std::string("dithered") ? QStringLiteral(".gif") : QStringLiteral(".mp4"));
        add(std::string("small/gif/") + kind, [=](benchmark::State& s) {
            GifRow(s, std::string("small ") + kind, small + u'/' + moving, QSize(160, 120), kShare, false);
        });
        add(std::string("small/jpeg/") + kind, [=](benchmark::State& s) {
            JpegRow(s, std::string("small ") + kind, small + u'/' + QLatin1String(kind) + QStringLiteral(".png"), kShare, false);
        });
    }
    if (material.isEmpty()) {
        std::fprintf(stderr, "no bench material (ffmpeg and python3 make it): only the small set is measured\n");
        return;
    }
    for (const char* kind : kKinds) {
        const QString moving = QString::fromLatin1(kind) + (kind == std::string("cartoon") || kind == std::string("dithered") ? QStringLiteral(".gif") : QStringLiteral(".mp4"));
        add(std::string("gif/") + kind, [=](benchmark::State& s) {
            GifRow(s, kind, material + u'/' + moving, QSize(320, 240), kShare, true);
        });
        add(std::string("jpeg/") + kind, [=](benchmark::State& s) {
            JpegRow(s, kind, material + u'/' + QLatin1String(kind) + QStringLiteral(".png"), kShare, true);
        });
    }
    add("named/busy_gif_1MB", [=](benchmark::State& s) {
        GifRow(s, "busy 400 × 300", material + QStringLiteral("/busy.gif"), QSize(400, 300), 1e6, true);
    });
    add("named/photo_jpeg_1MB", [=](benchmark::State& s) {
        JpegRow(s, "photo 3000 × 2000", material + QStringLiteral("/photo.png"), 1e6, true);
    });
}

void PrintTable()
{
    std::fprintf(stderr, "\n| case | limit | ours SSIM | ours bytes | ours | tool SSIM | tool bytes | tool setting | "
                         "search s | ranking |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& r : table)
        std::fprintf(stderr, "| %s | %.0f | %.4f | %.0f | %s | %.4f | %.0f | %s | %.2f | %s |\n", r.name.c_str(), r.limit,
                     r.ours, r.oursBytes, r.oursSetting.c_str(), r.tool, r.toolBytes, r.toolSetting.c_str(), r.seconds,
                     r.ranking.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RegisterRows(MaterialFolder());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    theScene.reset();
    return 0;
}
