// A 12-megapixel phone photo (4000 × 3000 JPEG, 4:2:0) through the work
// area's decoding: stored sideways (EXIF orientation 6) against the same
// file upright (orientation 1), and with a Display P3 profile against the
// same file without one. The files are made here at start.

#include "tests/support/JpegMaker.h"
#include "bench/support/PhotoPixels.h"
#include "controls/decoders/Decoders.h"

#include <benchmark/benchmark.h>

#include <lcms2.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace mugrove;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

std::vector<std::uint8_t> MakePixels() { return bench::PhotoLikePixels(kWidth, kHeight, 3); }

std::vector<std::uint8_t> DisplayP3()
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> icc(size);
    cmsSaveProfileToMem(profile, icc.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return icc;
}

// A TIFF block holding only the orientation, as cameras write it first.
std::vector<std::uint8_t> Exif(int orientation)
{
    std::vector<std::uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                   0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, std::uint8_t(orientation), 0, 0, 0, 0, 0, 0};
    return b;
}

std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& rgb, int orientation, bool p3)
{
    return testing::MakeJpeg(rgb.data(), kWidth, kHeight, 90, [&](jpeg_compress_struct& info) {
        if (orientation != 0) {
            const auto exif = Exif(orientation);
            jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
        }
        if (p3) {
            const auto icc = DisplayP3();
            jpeg_write_icc_profile(&info, icc.data(), static_cast<unsigned>(icc.size()));
        }
    });
}

struct Files {
    std::vector<std::uint8_t> upright, sideways, plain, p3;
    Files()
    {
#if defined(__GLIBC__)
        // The heap as the program sets it up.
        mallopt(M_MMAP_THRESHOLD, 16 << 20);
        mallopt(M_TRIM_THRESHOLD, 32 << 20);
#endif
        const auto rgb = MakePixels();
        upright = Encode(rgb, 1, false);
        sideways = Encode(rgb, 6, false);
        plain = Encode(rgb, 0, false);
        p3 = Encode(rgb, 0, true);
    }
};

const Files& TheFiles()
{
    static const Files files;
    return files;
}

void Run(benchmark::State& state, const std::vector<std::uint8_t>& file, int width)
{
    for (auto _ : state) {
        DecodedPicture picture;
        if (DecodePictureInProcess(file, picture) != DecodeError::None || picture.Width() != width)
            state.SkipWithError("the photo did not decode");
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
}

void BM_PhotoOrientation1(benchmark::State& state) { Run(state, TheFiles().upright, kWidth); }
void BM_PhotoOrientation6(benchmark::State& state) { Run(state, TheFiles().sideways, kHeight); }
void BM_PhotoWithoutProfile(benchmark::State& state) { Run(state, TheFiles().plain, kWidth); }
void BM_PhotoDisplayP3(benchmark::State& state) { Run(state, TheFiles().p3, kWidth); }

} // namespace

// The CPU column counts every thread of the process: a turned or converted
// photo is partly worked on by a second thread.
BENCHMARK(BM_PhotoOrientation1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2);
BENCHMARK(BM_PhotoOrientation6)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2);
BENCHMARK(BM_PhotoWithoutProfile)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2);
BENCHMARK(BM_PhotoDisplayP3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2);

BENCHMARK_MAIN();
