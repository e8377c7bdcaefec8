#pragma once

// A saved GIF played back against the frames it was made from (a stream of
// binary PPMs), for the benchmarks that weigh our GIFs against another
// encoder's. The GIF is played by the tests' reader.

#include "tests/output/GifReadBack.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace mugrove::bench {

struct Compared {
    double error = -1;
    int frames = 0;
    int runningCs = 0;
};

// Plays the GIF as viewers do, comparing each frame with the next of the
// PPM stream: the mean absolute difference per colour channel.
inline Compared CompareGifWithFrames(const QString& gifPath, const QString& ppmPath)
{
    Compared result;
    QFile file(gifPath);
    std::FILE* in = std::fopen(QFile::encodeName(ppmPath).constData(), "rb");
    if (!file.open(QIODevice::ReadOnly) || !in) {
        if (in)
            std::fclose(in);
        return result;
    }
    std::vector<std::uint8_t> want;
    bool reading = true;
    double total = 0;
    std::size_t samples = 0;
    const testing::PlayedGif played = testing::PlayGif(file.readAll(), [&](const QImage& shown) {
        want.resize(std::size_t(shown.width()) * std::size_t(shown.height()) * 3);
        int w = 0, h = 0, maxval = 0;
        reading = reading && std::fscanf(in, "P6 %d %d %d", &w, &h, &maxval) == 3 && std::fgetc(in) != EOF
            && std::fread(want.data(), 1, want.size(), in) == want.size();
        if (!reading)
            return;
        const std::uint8_t* p = want.data();
        for (int y = 0; y < shown.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
            for (int x = 0; x < shown.width(); ++x, p += 3)
                total += std::abs(qRed(row[x]) - p[0]) + std::abs(qGreen(row[x]) - p[1]) + std::abs(qBlue(row[x]) - p[2]);
        }
        samples += want.size();
    });
    std::fclose(in);
    if (!played.ok)
        return result;
    result.frames = int(played.delaysCs.size());
    result.runningCs = std::accumulate(played.delaysCs.begin(), played.delaysCs.end(), 0);
    result.error = samples ? total / double(samples) : -1;
    return result;
}

} // namespace mugrove::bench
