#include "controls/decoders/ColourProfile.h"

#include "controls/decoders/ByteReader.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

namespace mugrove {

namespace {

constexpr bool kLittle = std::endian::native == std::endian::little;
// 0xAARRGGBB as it lies in memory.
constexpr cmsUInt32Number kArgbFormat = kLittle ? TYPE_BGRA_8 : TYPE_ARGB_8;

// The library's default context is used throughout: it prints nothing,
// and a transform, once made, needs neither its profiles nor a context of
// ours kept alive.
struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

using Matrix = std::array<std::array<double, 3>, 3>;

bool Invert(const Matrix& m, Matrix& inverse)
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-9)
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            // The cofactor of (c, r), over the determinant.
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inverse[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return true;
}

// A profile's red, green and blue colorants as the columns of its
// device-to-PCS matrix, and its three tone curves.
struct Shaper {
    Matrix toPcs{};
    std::array<const cmsToneCurve*, 3> curves{};
};

bool ReadShaper(cmsHPROFILE profile, Shaper& shaper)
{
    static constexpr cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                                     cmsSigBlueColorantTag};
    static constexpr cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        shaper.curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, curves[c]));
        if (xyz == nullptr || shaper.curves[c] == nullptr)
            return false;
        shaper.toPcs[0][c] = xyz->X;
        shaper.toPcs[1][c] = xyz->Y;
        shaper.toPcs[2][c] = xyz->Z;
    }
    return true;
}

// Profiles made of three curves and a matrix (what phones and cameras
// embed) are converted here without going through the library for every
// pixel: each channel is linearised by table, mixed by one matrix from the
// profile's colorants to sRGB's, and encoded by table. For such profiles
// this is the library's own relative colorimetric (and so perceptual)
// result.
class MatrixConversion final : public SrgbConversion {
public:
    // Linear values are encoded through a table this long: a step near
    // black is a tenth of an 8-bit level.
    static constexpr int kEncodeSteps = 16383;

    MatrixConversion(const Shaper& source, const Matrix& fromPcs)
    {
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
            {
                const float linear = cmsEvalToneCurveFloat(source.curves[c], static_cast<float>(v) / 255.0f);
                linear_[c][v] = std::isfinite(linear) ? std::clamp(linear, 0.0f, 1.0f) : 0.0f;
            }
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int k = 0; k < 3; ++k)
                    sum += fromPcs[r][k] * source.toPcs[k][c];
                // Pre-scaled so the mixed value indexes the encoding table.
                // A matrix no real profile has could overflow the sums.
                if (!std::isfinite(sum) || std::fabs(sum) > 1000.0)
                    usable_ = false;
                else
                    mix_[r][c] = static_cast<float>(sum * kEncodeSteps);
            }
        for (int i = 0; i <= kEncodeSteps; ++i) {
            const double v = static_cast<double>(i) / kEncodeSteps;
            const double encoded = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
            encode_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::lround(std::clamp(encoded, 0.0, 1.0) * 255.0));
        }
    }

    bool Usable() const { return usable_; }

    // In blocks: the table look-ups are done one by one, the mixing in
    // between is plain arithmetic over arrays, which the compiler runs
    // several pixels at a time.
    void Run(std::uint32_t* pixels, std::size_t count) const override
    {
        constexpr std::size_t kBlock = 64;
        // The last block's tail is mixed from the block before: whole
        // blocks keep the mixing simple, and the surplus is never stored.
        alignas(32) float r[kBlock]{}, g[kBlock]{}, b[kBlock]{};
        alignas(32) std::int32_t outR[kBlock], outG[kBlock], outB[kBlock];
        for (std::size_t at = 0; at < count; at += kBlock) {
            std::uint32_t* p = pixels + at;
            const std::size_t n = std::min(kBlock, count - at);
            for (std::size_t i = 0; i < n; ++i) {
                r[i] = linear_[0][(p[i] >> 16) & 0xFF];
                g[i] = linear_[1][(p[i] >> 8) & 0xFF];
                b[i] = linear_[2][p[i] & 0xFF];
            }
            Mix(mix_[0], r, g, b, outR);
            Mix(mix_[1], r, g, b, outG);
            Mix(mix_[2], r, g, b, outB);
            for (std::size_t i = 0; i < n; ++i)
                p[i] = (p[i] & 0xFF000000u) | (std::uint32_t{encode_[static_cast<std::size_t>(outR[i])]} << 16) |
                       (std::uint32_t{encode_[static_cast<std::size_t>(outG[i])]} << 8) |
                       encode_[static_cast<std::size_t>(outB[i])];
        }
    }
    void RunInks(const std::uint8_t*, std::uint32_t*, std::size_t) const override {}

private:
    // One output channel of a block, as indices into the encoding table.
    static void Mix(const float (&row)[3], const float* r, const float* g, const float* b, std::int32_t* out)
    {
        constexpr std::size_t kBlock = 64;
        for (std::size_t i = 0; i < kBlock; ++i) {
            const float v = row[0] * r[i] + row[1] * g[i] + row[2] * b[i] + 0.5f;
            out[i] = static_cast<std::int32_t>(std::min(std::max(v, 0.0f), static_cast<float>(kEncodeSteps)));
        }
    }

    bool usable_ = true;
    float linear_[3][256];
    float mix_[3][3]{};
    std::array<std::uint8_t, kEncodeSteps + 1> encode_;
};

// Every other profile goes through the library's own transform.
class TransformConversion final : public SrgbConversion {
public:
    explicit TransformConversion(Transform transform) : transform_(std::move(transform)) {}

    void Run(std::uint32_t* pixels, std::size_t count) const override
    {
        ForChunks(count, [&](std::size_t at, cmsUInt32Number n) {
            cmsDoTransform(transform_.get(), pixels + at, pixels + at, n);
        });
    }
    void RunInks(const std::uint8_t* inks, std::uint32_t* out, std::size_t count) const override
    {
        ForChunks(count, [&](std::size_t at, cmsUInt32Number n) {
            cmsDoTransform(transform_.get(), inks + 4 * at, out + at, n);
            for (std::uint32_t* p = out + at; p != out + at + n; ++p)
                *p |= 0xFF000000u; // the transform leaves the alpha byte unwritten
        });
    }

private:
    template <class F>
    static void ForChunks(std::size_t count, F&& f)
    {
        constexpr std::size_t kChunk = std::size_t{1} << 20;
        for (std::size_t at = 0; at < count; at += kChunk)
            f(at, static_cast<cmsUInt32Number>(std::min(kChunk, count - at)));
    }

    Transform transform_;
};

// A grey profile on a picture decoded to grey pixels: one table of the
// 256 greys. A pixel that is not grey is left as it is.
class GreyConversion final : public SrgbConversion {
public:
    explicit GreyConversion(const std::array<std::uint32_t, 256>& table) : table_(table) {}

    void Run(std::uint32_t* pixels, std::size_t count) const override
    {
        for (std::uint32_t* p = pixels; p != pixels + count; ++p) {
            const std::uint32_t v = *p & 0xFF;
            if ((*p & 0xFFFFFFu) == v * 0x010101u)
                *p = (*p & 0xFF000000u) | table_[v];
        }
    }
    void RunInks(const std::uint8_t*, std::uint32_t*, std::size_t) const override {}

private:
    std::array<std::uint32_t, 256> table_;
};

// Whether the conversion leaves every colour within one level of itself:
// an sRGB profile, or one that differs from it by rounding, is not applied.
bool ChangesNothing(const SrgbConversion& conversion)
{
    constexpr int kSteps = 16;
    std::array<std::uint32_t, kSteps * kSteps * kSteps> grid{};
    std::size_t i = 0;
    for (int r = 0; r < kSteps; ++r)
        for (int g = 0; g < kSteps; ++g)
            for (int b = 0; b < kSteps; ++b)
                grid[i++] = Argb(255, static_cast<std::uint32_t>(r * 17), static_cast<std::uint32_t>(g * 17),
                                 static_cast<std::uint32_t>(b * 17));
    std::array<std::uint32_t, grid.size()> converted = grid;
    conversion.Run(converted.data(), converted.size());
    for (std::size_t k = 0; k < grid.size(); ++k)
        for (int shift = 0; shift < 32; shift += 8) {
            const int before = static_cast<int>((grid[k] >> shift) & 0xFF);
            const int after = static_cast<int>((converted[k] >> shift) & 0xFF);
            if (std::abs(before - after) > 1)
                return false;
        }
    return true;
}

bool FromProfile(cmsHPROFILE source, std::uint32_t space, SrgbConversion::Input input,
                 std::unique_ptr<SrgbConversion>& out)
{
    Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb)
        return false;
    const bool inks = input != SrgbConversion::Input::Argb;
    if (inks) {
        if (space != FourCc("CMYK"))
            return false;
        const cmsUInt32Number format = input == SrgbConversion::Input::InvertedInks ? TYPE_CMYK_8_REV : TYPE_CMYK_8;
        Transform t(cmsCreateTransform(source, format, srgb.get(), kArgbFormat, INTENT_PERCEPTUAL, 0));
        if (!t)
            return false;
        out = std::make_unique<TransformConversion>(std::move(t));
        return true;
    }
    if (space == FourCc("GRAY")) {
        Transform t(cmsCreateTransform(source, TYPE_GRAY_8, srgb.get(), kArgbFormat, INTENT_PERCEPTUAL, 0));
        if (!t)
            return false;
        std::array<std::uint8_t, 256> greys{};
        for (int v = 0; v < 256; ++v)
            greys[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v);
        std::array<std::uint32_t, 256> table{};
        cmsDoTransform(t.get(), greys.data(), table.data(), 256);
        for (std::uint32_t& v : table)
            v &= 0xFFFFFFu;
        out = std::make_unique<GreyConversion>(table);
    } else if (space != FourCc("RGB ")) {
        return false;
    } else {
        // The library prefers tables to the matrix when a profile has both.
        const bool tables = cmsIsTag(source, cmsSigAToB0Tag) || cmsIsTag(source, cmsSigAToB1Tag) ||
                            cmsIsTag(source, cmsSigAToB2Tag) || cmsIsTag(source, cmsSigDToB0Tag);
        Shaper from, to;
        Matrix fromPcs{};
        if (!tables && cmsIsMatrixShaper(source) && ReadShaper(source, from) && ReadShaper(srgb.get(), to) &&
            Invert(to.toPcs, fromPcs)) {
            auto matrix = std::make_unique<MatrixConversion>(from, fromPcs);
            if (matrix->Usable())
                out = std::move(matrix);
        }
        if (!out) {
            Transform t(cmsCreateTransform(source, kArgbFormat, srgb.get(), kArgbFormat, INTENT_PERCEPTUAL,
                                           cmsFLAGS_COPY_ALPHA));
            if (!t)
                return false;
            out = std::make_unique<TransformConversion>(std::move(t));
        }
    }
    if (ChangesNothing(*out))
        out.reset();
    return true;
}

} // namespace

bool IccConversion(std::span<const std::uint8_t> icc, SrgbConversion::Input input,
                   std::unique_ptr<SrgbConversion>& out)
{
    out.reset();
    // The header: size, ..., device class at 12, colour space at 16,
    // connection space at 20, "acsp" at 36.
    if (icc.size() < 132 || icc.size() > std::uint64_t{UINT32_MAX} || LoadBe32(icc.data() + 36) != FourCc("acsp"))
        return false;
    const std::uint32_t deviceClass = LoadBe32(icc.data() + 12);
    if (deviceClass != FourCc("mntr") && deviceClass != FourCc("scnr") && deviceClass != FourCc("prtr") &&
        deviceClass != FourCc("spac"))
        return false;
    const std::uint32_t pcs = LoadBe32(icc.data() + 20);
    if (pcs != FourCc("XYZ ") && pcs != FourCc("Lab "))
        return false;
    Profile source(cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
    if (!source)
        return false;
    try {
        return FromProfile(source.get(), LoadBe32(icc.data() + 16), input, out);
    } catch (const std::bad_alloc&) {
        out.reset();
        return false;
    }
}

bool CicpConversion(int colourPrimaries, int transferCharacteristics, std::unique_ptr<SrgbConversion>& out)
{
    out.reset();
    // Chromaticities of red, green, blue and white by ISO/IEC 23091-2 code.
    struct Primaries {
        int code;
        double rx, ry, gx, gy, bx, by, wx, wy;
    };
    static constexpr Primaries kPrimaries[] = {
        {1, 0.640, 0.330, 0.300, 0.600, 0.150, 0.060, 0.3127, 0.3290},  // BT.709, sRGB
        {4, 0.670, 0.330, 0.210, 0.710, 0.140, 0.080, 0.310, 0.316},    // BT.470 M
        {5, 0.640, 0.330, 0.290, 0.600, 0.150, 0.060, 0.3127, 0.3290},  // BT.470 BG
        {6, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070, 0.3127, 0.3290},  // BT.601
        {7, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070, 0.3127, 0.3290},  // SMPTE 240
        {9, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290},  // BT.2020
        {11, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.314, 0.351},   // DCI-P3
        {12, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290}, // Display P3
        {22, 0.630, 0.340, 0.295, 0.605, 0.155, 0.077, 0.3127, 0.3290}, // EBU 3213
    };
    const int primariesCode = colourPrimaries == 2 ? 1 : colourPrimaries; // unspecified: sRGB's
    const Primaries* primaries = nullptr;
    for (const Primaries& p : kPrimaries)
        if (p.code == primariesCode)
            primaries = &p;
    if (primaries == nullptr)
        return false;
    // The video codes for the BT.709 curve are shown with sRGB's, as
    // viewers show them: they name a camera's curve, not a screen's.
    enum class Curve { Srgb, Gamma22, Gamma28, Linear };
    Curve curve = Curve::Srgb;
    switch (transferCharacteristics) {
    case 1:
    case 2:
    case 6:
    case 13:
    case 14:
    case 15: curve = Curve::Srgb; break;
    case 4: curve = Curve::Gamma22; break;
    case 5: curve = Curve::Gamma28; break;
    case 8: curve = Curve::Linear; break;
    default: return false; // HDR curves and the rest are not read
    }
    if (primariesCode == 1 && curve == Curve::Srgb)
        return true;

    const cmsCIExyY white{primaries->wx, primaries->wy, 1.0};
    const cmsCIExyYTRIPLE rgb{{primaries->rx, primaries->ry, 1.0},
                              {primaries->gx, primaries->gy, 1.0},
                              {primaries->bx, primaries->by, 1.0}};
    static constexpr cmsFloat64Number kSrgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    struct CurveDeleter {
        void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
    };
    std::unique_ptr<cmsToneCurve, CurveDeleter> tone(
        curve == Curve::Srgb ? cmsBuildParametricToneCurve(nullptr, 4, kSrgbCurve)
                             : cmsBuildGamma(nullptr, curve == Curve::Gamma22 ? 2.2 : curve == Curve::Gamma28 ? 2.8 : 1.0));
    if (!tone)
        return false;
    cmsToneCurve* curves[3] = {tone.get(), tone.get(), tone.get()};
    Profile source(cmsCreateRGBProfile(&white, &rgb, curves));
    if (!source)
        return false;
    try {
        return FromProfile(source.get(), FourCc("RGB "), SrgbConversion::Input::Argb, out);
    } catch (const std::bad_alloc&) {
        out.reset();
        return false;
    }
}

bool ConvertProfileToSrgb(Image& image, std::span<const std::uint8_t> icc)
{
    std::unique_ptr<SrgbConversion> conversion;
    if (!IccConversion(icc, SrgbConversion::Input::Argb, conversion))
        return false;
    if (conversion)
        conversion->RunOver(image);
    return true;
}

bool ConvertCicpToSrgb(Image& image, int colourPrimaries, int transferCharacteristics)
{
    std::unique_ptr<SrgbConversion> conversion;
    if (!CicpConversion(colourPrimaries, transferCharacteristics, conversion))
        return false;
    if (conversion)
        conversion->RunOver(image);
    return true;
}

} // namespace mugrove
