// The decoders on their own, without widgets: recognition, known pictures
// to exact pixels, and every crafted malformed file.

#include "controls/decoders/DecodedPicture.h"
#include "controls/decoders/Decoders.h"
#include "controls/decoders/Gif.h"
#include "controls/decoders/PictureBytes.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include <jpeglib.h>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define MUGROVE_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MUGROVE_TEST_SANITIZED 1
#endif
#endif

using namespace mugrove;

Q_DECLARE_METATYPE(mugrove::ImageKind)
Q_DECLARE_METATYPE(mugrove::DecodeError)

namespace {

// Pictures are stored row after row, top down, without padding.
std::uint32_t PixelAt(const Image& image, int x, int y)
{
    return image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)];
}

QString DataPath(const QString& name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + name;
}

PictureBytes Load(const QString& name)
{
    // Inputs the fuzzers found are kept apart from the generated files.
    QFile f(name.startsWith("fuzz-regressions/") ? QStringLiteral(MUGROVE_TEST_DATA "/") + name : DataPath(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(name));
    const QByteArray b = f.readAll();
    return PictureBytes(b.begin(), b.end());
}

Image LoadExpected(const QString& name)
{
    QFile f(DataPath(name + ".expect"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("missing expectation %s", qPrintable(name));
    const QStringList words = QString::fromLatin1(f.readAll()).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    Image image;
    image.width = words.value(0).toInt();
    image.height = words.value(1).toInt();
    for (qsizetype i = 2; i < words.size(); ++i)
        image.pixels.push_back(words[i].toUInt(nullptr, 16));
    return image;
}

QString Hex(std::uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

// The first differing pixel, or an empty text when the images are equal.
QString Difference(const Image& got, const Image& want, int tolerance = 0)
{
    if (got.width != want.width || got.height != want.height)
        return QStringLiteral("size %1x%2, want %3x%4").arg(got.width).arg(got.height).arg(want.width).arg(want.height);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            std::uint32_t a = PixelAt(got, x, y), b = PixelAt(want, x, y);
            // The colour of a fully transparent pixel does not matter.
            if ((a >> 24) == 0 && (b >> 24) == 0)
                a = b = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
                if (d > tolerance || -d > tolerance)
                    return QStringLiteral("(%1,%2) %3, want %4").arg(x).arg(y).arg(Hex(a), Hex(b));
            }
        }
    return {};
}

// A bare libjpeg-turbo decode to RGB, the reference for our JPEG path.
struct Reference {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    std::jmp_buf jump;
};

void ReferenceError(j_common_ptr info)
{
    std::longjmp(static_cast<Reference*>(info->client_data)->jump, 1);
}

bool ReferenceDecode(Reference& ref, const PictureBytes& data, Image& out, std::vector<std::uint8_t>& row)
{
    ref.info.err = jpeg_std_error(&ref.errors);
    ref.errors.error_exit = ReferenceError;
    ref.info.client_data = &ref;
    if (setjmp(ref.jump) != 0) {
        jpeg_destroy_decompress(&ref.info);
        return false;
    }
    jpeg_create_decompress(&ref.info);
    jpeg_mem_src(&ref.info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&ref.info, TRUE);
    ref.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&ref.info);
    out.width = static_cast<int>(ref.info.output_width);
    out.height = static_cast<int>(ref.info.output_height);
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    row.resize(static_cast<std::size_t>(out.width) * 3);
    while (ref.info.output_scanline < ref.info.output_height) {
        const int y = static_cast<int>(ref.info.output_scanline);
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&ref.info, &p, 1);
        for (int x = 0; x < out.width; ++x)
            out.Row(y)[x] = Argb(255, row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    }
    jpeg_finish_decompress(&ref.info);
    jpeg_destroy_decompress(&ref.info);
    return true;
}

// A player for any GIF, one frame or more.
std::unique_ptr<Animation> Player(const QString& name)
{
    const auto bytes = std::make_shared<const PictureBytes>(Load(name));
    auto index = std::make_shared<GifIndex>();
    if (IndexGif(*bytes, *index) != DecodeError::None)
        qFatal("%s has no index", qPrintable(name));
    return std::make_unique<GifPlayer>(bytes, index);
}

GifIndex Index(const QString& name)
{
    GifIndex index;
    const PictureBytes bytes = Load(name);
    if (IndexGif(bytes, index) != DecodeError::None)
        qFatal("%s has no index", qPrintable(name));
    return index;
}

// The canvas after `frames` steps of a fresh player.
Image FrameAfter(const QString& name, std::size_t frames)
{
    const std::unique_ptr<Animation> player = Player(name);
    for (std::size_t i = 0; i < frames; ++i)
        if (player->Advance() != DecodeError::None)
            qFatal("frame %zu of %s does not decode", i, qPrintable(name));
    return player->Canvas();
}

// While it lives, the process may map only `headroom` bytes beyond what it
// has mapped already, so that a larger allocation fails as it would with the
// system's memory gone. The sanitizers' allocator cannot run under such a
// limit (it aborts instead of failing), so there is none there.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::uint64_t headroom)
    {
#if !defined(MUGROVE_TEST_SANITIZED)
        unsigned long long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        const bool known = statm != nullptr && std::fscanf(statm, "%llu", &pages) == 1;
        if (statm != nullptr)
            std::fclose(statm);
        if (!known || getrlimit(RLIMIT_AS, &before_) != 0)
            return;
        rlimit lower = before_;
        lower.rlim_cur = static_cast<rlim_t>(pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) + headroom);
        active_ = lower.rlim_cur < before_.rlim_cur && setrlimit(RLIMIT_AS, &lower) == 0;
#else
        (void)headroom;
#endif
    }
    ~AddressSpaceLimit()
    {
        if (active_)
            setrlimit(RLIMIT_AS, &before_);
    }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;
    bool Active() const { return active_; }

private:
    rlimit before_{};
    bool active_ = false;
};

constexpr std::uint32_t kR = 0xFFFF0000, kG = 0xFF00FF00, kB = 0xFF0000FF, kW = 0xFFFFFFFF, kT = 0;

Image Picture(int w, int h, std::vector<std::uint32_t> pixels)
{
    return Image{w, h, PixelBuffer(pixels.begin(), pixels.end())};
}

} // namespace

class TestDecoders : public QObject {
    Q_OBJECT
private slots:
    void detect_image_kind_data();
    void detect_image_kind();

    void known_pictures_decode_to_exact_pixels_data();
    void known_pictures_decode_to_exact_pixels();
    void jpeg_decode_matches_libjpeg_data();
    void jpeg_decode_matches_libjpeg();
    void jpeg_decode_cmyk_to_rgb();
    void jpeg_damaged_show_as_libjpeg_gives_them();

    void malformed_files_give_no_picture_data();
    void malformed_files_give_no_picture();

    void bmp_decode_rle_run_past_row();
    void bmp_decode_rle_past_image();
    void bmp_decode_rle_truncated_keeps_rows();
    void bmp_decode_palette_index_beyond_palette();
    void icon_decode_falls_back_to_next_entry();
    void gif_decode_truncated_input_keeps_complete_frames();
    void gif_decode_short_pixel_data();
    void gif_decode_huge_frame_is_cut_to_screen();
    void gif_decode_bomb_stops_at_screen();
    void gif_decode_full_code_table();
    void gif_compose_frames_in_order();
    void gif_player_clone_is_independent_and_shares_bytes();
    void gif_loop_count_from_file();
    void gif_long_recording_plays_every_frame();
    void gif_damaged_frame_ends_play_on_last_good_frame();
    void gif_compose_disposal3_at_image_edge();
    void gif_compose_frame_outside_screen();
    void gif_compose_disposal_of_empty_frame();
    void pcx_decode_rle_past_image();
    void caps_on_sides_and_memory();
};

void TestDecoders::detect_image_kind_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ImageKind>("kind");
    const auto b = [](std::initializer_list<int> v) {
        QByteArray a;
        for (int x : v)
            a.append(static_cast<char>(x));
        return a;
    };
    QTest::newRow("bmp") << b({'B', 'M', 0, 0, 0, 0}) << ImageKind::Bmp;
    QTest::newRow("jpeg") << b({0xFF, 0xD8, 0xFF, 0xE0, 0, 0}) << ImageKind::Jpeg;
    QTest::newRow("icon") << b({0, 0, 1, 0, 1, 0}) << ImageKind::Icon;
    QTest::newRow("cursor") << b({0, 0, 2, 0, 3, 0}) << ImageKind::Cursor;
    QTest::newRow("icon with no images") << b({0, 0, 1, 0, 0, 0}) << ImageKind::Unrecognised;
    QTest::newRow("icon count in high byte") << b({0, 0, 1, 0, 0, 1}) << ImageKind::Icon;
    QTest::newRow("gif87a") << QByteArray("GIF87a") << ImageKind::Gif;
    QTest::newRow("gif89a") << QByteArray("GIF89a\1\0") << ImageKind::Gif;
    QTest::newRow("gif88a") << QByteArray("GIF88a") << ImageKind::Unrecognised;
    QTest::newRow("pcx8 version 5") << b({0x0A, 5, 1, 8, 0, 0}) << ImageKind::Pcx8;
    QTest::newRow("pcx8 version 0") << b({0x0A, 0, 1, 8, 0, 0}) << ImageKind::Pcx8;
    QTest::newRow("pcx8 version 6") << b({0x0A, 6, 1, 8, 0, 0}) << ImageKind::Unrecognised;
    QTest::newRow("pcx8 not encoded") << b({0x0A, 5, 0, 8, 0, 0}) << ImageKind::Unrecognised;
    QTest::newRow("pcx1 version 3") << b({0x0A, 3, 1, 1, 0, 0}) << ImageKind::Pcx1;
    QTest::newRow("pcx1 version 5") << b({0x0A, 5, 1, 1, 0, 0}) << ImageKind::Unrecognised;
    QTest::newRow("pcx 4 bits") << b({0x0A, 5, 1, 4, 0, 0}) << ImageKind::Unrecognised;
    QTest::newRow("five bytes of bmp") << b({'B', 'M', 0, 0, 0}) << ImageKind::Unrecognised;
    QTest::newRow("empty") << QByteArray() << ImageKind::Unrecognised;
    QTest::newRow("png") << b({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}) << ImageKind::Png;
    QTest::newRow("png signature cut") << b({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}) << ImageKind::Unrecognised;
    // ISO base media files by their ftyp brands: the major brand, else any
    // compatible one, AV1 before HEVC; video brands alone are no picture.
    const auto ftyp = []<std::size_t N>(const char (&brands)[N]) {
        const QByteArray body(brands, N - 1);
        QByteArray box(4, '\0');
        box[3] = static_cast<char>(8 + body.size());
        return box + "ftyp" + body;
    };
    QTest::newRow("heic major") << ftyp("heic\0\0\0\0mif1heic") << ImageKind::Heif;
    QTest::newRow("heix major") << ftyp("heix\0\0\0\0") << ImageKind::Heif;
    QTest::newRow("hevc sequence") << ftyp("hevc\0\0\0\0msf1") << ImageKind::Heif;
    QTest::newRow("mif1 compatible only") << ftyp("abcd\0\0\0\0isommif1") << ImageKind::Heif;
    QTest::newRow("msf1 compatible only") << ftyp("abcd\0\0\0\0msf1") << ImageKind::Heif;
    QTest::newRow("avif major") << ftyp("avif\0\0\0\0mif1miaf") << ImageKind::Avif;
    QTest::newRow("avis major") << ftyp("avis\0\0\0\0msf1") << ImageKind::Avif;
    QTest::newRow("avif after mif1") << ftyp("mif1\0\0\0\0mif1avif") << ImageKind::Heif;
    QTest::newRow("avif compatible, video major") << ftyp("isom\0\0\0\0mif1avif") << ImageKind::Avif;
    QTest::newRow("mp4 video") << ftyp("isom\0\0\2\0isomiso2avc1mp41") << ImageKind::Unrecognised;
    QTest::newRow("quicktime video") << ftyp("qt  \0\0\0\0qt  ") << ImageKind::Unrecognised;
    QTest::newRow("ftyp box longer than the data") << ftyp("heic\0\0\0\0").chopped(2) << ImageKind::Unrecognised;
    QTest::newRow("jxl codestream") << b({0xFF, 0x0A, 0xFA, 0x7F, 0x01, 0x90}) << ImageKind::Jxl;
    QTest::newRow("jxl container")
        << b({0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0, 0, 0x14}) << ImageKind::Jxl;
    QTest::newRow("jxl container signature cut") << b({0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87})
                                                  << ImageKind::Unrecognised;
    QTest::newRow("png line ends changed") << b({0x89, 'P', 'N', 'G', 0x0A, 0x0A, 0x1A, 0x0A}) << ImageKind::Unrecognised;
    QTest::newRow("webp") << QByteArray("RIFF\x10\0\0\0WEBPVP8L", 16) << ImageKind::Webp;
    QTest::newRow("webp form type only") << QByteArray("RIFF\0\0\0\0WEBP", 12) << ImageKind::Webp;
    QTest::newRow("riff of another form") << QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16) << ImageKind::Unrecognised;
    QTest::newRow("riff cut before form") << QByteArray("RIFF\0\0\0\0WEB", 11) << ImageKind::Unrecognised;
    QTest::newRow("tiff") << b({'I', 'I', 42, 0, 8, 0, 0, 0}) << ImageKind::Unrecognised;
}

void TestDecoders::detect_image_kind()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ImageKind, kind);
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    QCOMPARE(DetectImageKind({p, static_cast<std::size_t>(bytes.size())}), kind);
}

void TestDecoders::known_pictures_decode_to_exact_pixels_data()
{
    QTest::addColumn<QString>("file");
    const QStringList expectations = QDir(DataPath("")).entryList({"*.expect"}, QDir::Files, QDir::Name);
    QVERIFY(expectations.size() >= 20);
    for (const QString& e : expectations) {
        const QString file = e.chopped(7);
        QTest::newRow(qPrintable(file)) << file;
    }
}

void TestDecoders::known_pictures_decode_to_exact_pixels()
{
    QFETCH(QString, file);
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load(file), picture), DecodeError::None);
    const Image want = LoadExpected(file);
    QCOMPARE(Difference(picture.image, want), QString());
}

void TestDecoders::jpeg_decode_matches_libjpeg_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("baseline") << "good_jpeg_baseline.jpg";
    QTest::newRow("progressive") << "good_jpeg_progressive.jpg";
    QTest::newRow("greyscale") << "good_jpeg_grey.jpg";
    QTest::newRow("100 scans, the most we read") << "good_jpeg_100_scans.jpg";
}

void TestDecoders::jpeg_decode_matches_libjpeg()
{
    QFETCH(QString, file);
    const PictureBytes bytes = Load(file);
    DecodedPicture picture;
    QCOMPARE(DecodePicture(bytes, picture), DecodeError::None);
    QCOMPARE(picture.kind, ImageKind::Jpeg);
    Reference ref{};
    Image want;
    std::vector<std::uint8_t> row;
    QVERIFY(ReferenceDecode(ref, bytes, want, row));
    QCOMPARE(want.width, 24);
    QCOMPARE(Difference(picture.image, want), QString());
}

void TestDecoders::jpeg_decode_cmyk_to_rgb()
{
    // Inverted (Adobe) inks: no ink, then full cyan.
    Image image;
    QCOMPARE(DecodeJpeg(Load("good_jpeg_cmyk.jpg"), image), DecodeError::None);
    Image want{16, 8, PixelBuffer(128)};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            want.Row(y)[x] = x < 8 ? kW : 0xFF00FFFF;
    QCOMPARE(Difference(image, want, 2), QString());
    // Plain inks without the marker: no ink, then full yellow.
    QCOMPARE(DecodeJpeg(Load("good_jpeg_cmyk_plain.jpg"), image), DecodeError::None);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            want.Row(y)[x] = x < 8 ? kW : 0xFFFFFF00;
    QCOMPARE(Difference(image, want, 2), QString());
}

void TestDecoders::jpeg_damaged_show_as_libjpeg_gives_them()
{
    Reference ref{};
    std::vector<std::uint8_t> row;
    Image whole;
    QVERIFY(ReferenceDecode(ref, Load("good_jpeg_whole.jpg"), whole, row));
    QCOMPARE(whole.width, 64);
    // Without its end marker the picture is whole.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("jpeg_without_end_marker.jpg"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, whole), QString());
    // Cut off at 60 %: full size, the top rows as in the whole picture, and
    // libjpeg's grey below where the data ran out.
    const PictureBytes cut = Load("jpeg_cut_at_60_percent.jpg");
    QCOMPARE(DecodePicture(cut, picture), DecodeError::None);
    QCOMPARE(picture.Width(), 64);
    QCOMPARE(picture.Height(), 192);
    // The first band of 16 rows is all there; its last row is smoothed with
    // the band below, which is cut, so 15 rows are exactly as in the whole.
    Image top{64, 15, PixelBuffer(whole.pixels.begin(), whole.pixels.begin() + 64 * 15)};
    Image gotTop{64, 15, PixelBuffer(picture.image.pixels.begin(), picture.image.pixels.begin() + 64 * 15)};
    QCOMPARE(Difference(gotTop, top), QString());
    for (int x = 0; x < 64; ++x)
        QCOMPARE(Hex(PixelAt(picture.image, x, 191)), Hex(0xFF808080));
    Image lenient;
    QVERIFY(ReferenceDecode(ref, cut, lenient, row));
    QCOMPARE(Difference(picture.image, lenient), QString());
    // Found by the fuzzer as slow: 169 bytes claiming 12544 × 4096 whose
    // data ends at once; all fill, shown at its size.
    Image huge;
    QCOMPARE(DecodeJpeg(Load("fuzz-regressions/jpeg_short_huge_cmyk.jpg"), huge), DecodeError::None);
    QCOMPARE(huge.width, 12544);
    QCOMPARE(huge.height, 4096);
    QCOMPARE(PixelAt(huge, 12543, 4095), PixelAt(huge, 0, 40));
}

void TestDecoders::malformed_files_give_no_picture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<DecodeError>("error");
    QTest::addColumn<bool>("starved"); // decoded with no memory for its picture
    const auto row = [](const char* name, const char* file, DecodeError e, bool starved = false) {
        QTest::newRow(name) << QString::fromLatin1(file) << e << starved;
    };
    row("bmp_decode_dimension_overflow", "bmp_dimension_overflow.bmp", DecodeError::TooLarge);
    row("bmp_decode_side_over_cap", "bmp_side_over_cap.bmp", DecodeError::TooLarge);
    row("bmp_decode_over_memory_cap", "bmp_over_memory_cap.bmp", DecodeError::TooLarge);
    row("bmp_decode_zero_width", "bmp_zero_width.bmp", DecodeError::UnsupportedDimension);
    row("bmp_decode_int_min_height", "bmp_int_min_height.bmp", DecodeError::TooLarge);
    row("bmp_decode_truncated_rows", "bmp_truncated_rows.bmp", DecodeError::TruncatedInput);
    row("bmp_decode_truncated_header", "bmp_truncated_header.bmp", DecodeError::TruncatedInput);
    row("icon_decode_height_zero", "icon_height_zero.ico", DecodeError::UnsupportedDimension);
    row("icon_decode_height_int_min", "icon_height_int_min.ico", DecodeError::UnsupportedDimension);
    row("icon_decode_truncated_input", "icon_truncated.ico", DecodeError::TruncatedInput);
    row("icon_decode_truncated_directory", "icon_truncated_directory.ico", DecodeError::TruncatedInput);
    row("icon_decode_entry_outside", "icon_entry_outside.ico", DecodeError::TruncatedInput);
    row("icon_decode_png_only", "icon_png_only.ico", DecodeError::Unsupported);
    row("gif_decode_lzw_code_size_13", "gif_lzw_code_size_13.gif", DecodeError::CorruptData);
    row("gif_decode_truncated_header", "gif_truncated_header.gif", DecodeError::TruncatedInput);
    row("gif_decode_truncated_first_frame", "gif_truncated_first_frame.gif", DecodeError::TruncatedInput);
    row("gif_decode_screen_over_memory_cap", "gif_screen_over_memory_cap.gif", DecodeError::TooLarge);
    row("gif_decode_zero_screen", "gif_zero_screen.gif", DecodeError::UnsupportedDimension);
    row("pcx_decode_truncated_input", "pcx_truncated.pcx", DecodeError::TruncatedInput);
    row("pcx_decode_8bit_without_palette", "pcx8_without_palette.pcx", DecodeError::TruncatedInput);
    row("pcx_decode_dimension_overflow", "pcx_dimension_overflow.pcx", DecodeError::TooLarge);
    row("pcx_decode_max_before_min", "pcx_max_before_min.pcx", DecodeError::UnsupportedDimension);
    row("pcx_decode_bytes_per_line_short", "pcx_bytes_per_line_short.pcx", DecodeError::BadHeader);
    // Found by the fuzzer as slow: 4099 × 14850 claimed over 139 bytes of
    // data, refused before a picture is allocated.
    row("pcx_decode_far_too_little_data", "fuzz-regressions/pcx_truncated_huge.pcx", DecodeError::TruncatedInput);
    row("jpeg_decode_header_only", "jpeg_header_only.jpg", DecodeError::TruncatedInput);
    row("jpeg_decode_corrupt_tables", "jpeg_corrupt_tables.jpg", DecodeError::CorruptData);
    row("jpeg_decode_huge_dimensions", "jpeg_huge_dimensions.jpg", DecodeError::TooLarge);
    row("jpeg_decode_over_memory_cap", "jpeg_over_memory_cap.jpg", DecodeError::TooLarge);
    row("jpeg_decode_coefficients_over_memory_cap", "jpeg_coefficients_over_memory_cap.jpg", DecodeError::TooLarge);
    row("jpeg_decode_too_many_scans", "jpeg_too_many_scans.jpg", DecodeError::CorruptData);
    row("heic_decode_truncated_header", "heic_truncated_header.heic", DecodeError::TruncatedInput);
    row("heic_decode_truncated", "heic_truncated.heic", DecodeError::TruncatedInput);
    row("heic_decode_grid_over_cap", "heic_grid_over_cap.heic", DecodeError::TooLarge);
    row("heic_decode_grid_too_many_tiles", "heic_grid_too_many_tiles.heic", DecodeError::TooLarge);
    row("heic_decode_overlay_over_cap", "heic_overlay_over_cap.heic", DecodeError::TooLarge);
    row("heic_decode_ispe_over_cap", "heic_ispe_over_cap.heic", DecodeError::TooLarge);
    row("avif_decode_truncated", "avif_truncated.avif", DecodeError::TruncatedInput);
    row("avif_decode_ispe_over_cap", "avif_ispe_over_cap.avif", DecodeError::TooLarge);
    row("avif_decode_sequence_over_cap", "avif_sequence_over_cap.avif", DecodeError::TooLarge);
    // Found by the fuzzer as slow: item locations of zero-byte fields that
    // claim 65535 extents each, stepped over rather than read one by one.
    row("heic_decode_many_empty_extents", "fuzz-regressions/heic_many_empty_extents.heic", DecodeError::BadHeader);
    // Found by the fuzzer as slow: a 1 × 1 grid of a 16 × 12 tile whose
    // canvas, read past its data, claimed 4096 × 7168: seconds of work on
    // pixels no tile covers.
    row("heic_decode_grid_canvas_beyond_tiles", "fuzz-regressions/heic_grid_canvas_beyond_tiles.heic",
        DecodeError::BadHeader);
    row("jxl_decode_truncated", "jxl_truncated.jxl", DecodeError::TruncatedInput);
    row("jxl_decode_side_over_cap", "jxl_side_over_cap.jxl", DecodeError::TooLarge);
    row("jxl_decode_over_memory_cap", "jxl_over_memory_cap.jxl", DecodeError::TooLarge);
    row("decode_five_bytes", "five_bytes.bin", DecodeError::Unrecognised);
    row("decode_tiff_bytes", "tiff_header.tif", DecodeError::Unrecognised);
    // Pictures within the caps, read from a few bytes, whose first large
    // block (40 MB and more: ours, or the library's own) cannot be had.
    row("bmp_decode_out_of_memory", "fuzz-regressions/bmp_rle_huge_sparse.bmp", DecodeError::OutOfMemory, true);
    row("jpeg_decode_out_of_memory", "fuzz-regressions/jpeg_short_huge_cmyk.jpg", DecodeError::OutOfMemory, true);
    row("gif_decode_out_of_memory", "fuzz-regressions/gif_wide_screen_small_frames.gif", DecodeError::OutOfMemory,
        true);
    row("webp_animation_decode_out_of_memory", "fuzz-regressions/webp_tall_canvas_tiny_frames.webp",
        DecodeError::OutOfMemory, true);
}

void TestDecoders::malformed_files_give_no_picture()
{
    QFETCH(QString, file);
    QFETCH(DecodeError, error);
    QFETCH(bool, starved);
    const PictureBytes bytes = Load(file);
    DecodedPicture picture;
    DecodeError got = DecodeError::None;
    {
        std::optional<AddressSpaceLimit> limit;
        if (starved) {
            limit.emplace(std::uint64_t{16} << 20);
            if (!limit->Active())
                QSKIP("the address space cannot be limited here");
        }
        got = DecodePicture(bytes, picture);
    }
    QCOMPARE(got, error);
    QVERIFY(picture.image.Empty());
    QCOMPARE(picture.kind, ImageKind::Unrecognised);
    QVERIFY(!picture.Animated());
}

void TestDecoders::bmp_decode_rle_run_past_row()
{
    // A run of 10 on a 4-pixel row is cut there; the next row is intact.
    Image image;
    QCOMPARE(DecodeBmp(Load("bmp_rle8_run_past_row.bmp"), image), DecodeError::None);
    QCOMPARE(Difference(image, Picture(4, 2, {kB, kB, kB, kB, kG, kG, kG, kG})), QString());
    QCOMPARE(DecodeBmp(Load("bmp_rle4_run_past_row.bmp"), image), DecodeError::None);
    QCOMPARE(Difference(image, Picture(3, 1, {kG, kB, kG})), QString());
}

void TestDecoders::bmp_decode_rle_past_image()
{
    // A delta past the last row ends the picture; nothing after it is drawn.
    Image image;
    QCOMPARE(DecodeBmp(Load("bmp_rle8_past_image.bmp"), image), DecodeError::None);
    QCOMPARE(Difference(image, Picture(4, 2, {kT, kT, kT, kT, kW, kW, kW, kW})), QString());
    // An absolute run longer than the data left draws nothing.
    QCOMPARE(DecodeBmp(Load("bmp_rle8_absolute_past_data.bmp"), image), DecodeError::None);
    QCOMPARE(Difference(image, Picture(4, 2, std::vector<std::uint32_t>(8, kT))), QString());
}

void TestDecoders::bmp_decode_rle_truncated_keeps_rows()
{
    Image image;
    QCOMPARE(DecodeBmp(Load("bmp_rle8_truncated.bmp"), image), DecodeError::None);
    QCOMPARE(Difference(image, Picture(4, 2, {kT, kT, kT, kT, kB, kB, kB, kB})), QString());
    // Found by the fuzzer as slow: 155 bytes of run-length data for a
    // 12035 × 4352 picture, which is mostly transparent and so left unwritten.
    QCOMPARE(DecodeBmp(Load("fuzz-regressions/bmp_rle_huge_sparse.bmp"), image), DecodeError::None);
    QCOMPARE(image.width, 12035);
    QCOMPARE(image.height, 4352);
    QCOMPARE(PixelAt(image, 12034, 0), kT);
}

void TestDecoders::bmp_decode_palette_index_beyond_palette()
{
    Image image;
    QCOMPARE(DecodeBmp(Load("bmp_palette_index_beyond.bmp"), image), DecodeError::None);
    QCOMPARE(Difference(image, Picture(4, 1, {kR, kG, kOpaqueBlack, kOpaqueBlack})), QString());
}

void TestDecoders::icon_decode_falls_back_to_next_entry()
{
    // The larger entry's pixels are cut short; the smaller complete one shows.
    Image image;
    QCOMPARE(DecodeIcon(Load("icon_fallback.ico"), image), DecodeError::None);
    QCOMPARE(image.width, 3);
    QCOMPARE(image.height, 2);
}

void TestDecoders::gif_decode_truncated_input_keeps_complete_frames()
{
    QCOMPARE(Index("gif_truncated_third_frame.gif").frames.size(), std::size_t{2});
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_truncated_third_frame.gif"), picture), DecodeError::None);
    QVERIFY(picture.Animated());
    QCOMPARE(picture.animation->FrameCount(), std::size_t{2});
}

void TestDecoders::gif_decode_short_pixel_data()
{
    // The data ends after two of six pixels: the rest stay transparent.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_short_pixel_data.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(3, 2, {kR, kG, kT, kT, kT, kT})), QString());
    QVERIFY(!picture.Animated());
}

void TestDecoders::gif_decode_huge_frame_is_cut_to_screen()
{
    const GifIndex index = Index("gif_huge_frame.gif");
    QCOMPARE(index.frames.at(0).clipWidth, 3);
    QCOMPARE(index.frames.at(0).clipHeight, 2);
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_huge_frame.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(3, 2, {kR, kG, kB, kT, kT, kT})), QString());
}

void TestDecoders::gif_decode_bomb_stops_at_screen()
{
    // 65535 × 65535 claimed over 16 × 16, 160 million pixels of red in the
    // data. Straight rows: all 16 screen rows come first and are red.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_bomb.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(16, 16, std::vector<std::uint32_t>(256, kR))), QString());
    GifIndex index = Index("gif_bomb.gif");
    std::vector<std::uint8_t> indices(16 * 16, 9);
    std::uint64_t decoded = 0;
    QCOMPARE(DecodeGifFrame(Load("gif_bomb.gif"), index.frames.at(0), indices.data(), decoded), DecodeError::None);
    QCOMPARE(decoded, std::uint64_t{16} * 65535); // no further than the 16th row
    // Interlaced: the data (about 2400 rows) reaches only into the first
    // pass, every 8th row from 0; rows 0 and 8 are red, the rest untouched.
    QCOMPARE(DecodePicture(Load("gif_bomb_interlaced.gif"), picture), DecodeError::None);
    std::vector<std::uint32_t> want(256, kT);
    std::fill(want.begin(), want.begin() + 16, kR);
    std::fill(want.begin() + 8 * 16, want.begin() + 9 * 16, kR);
    QCOMPARE(Difference(picture.image, Picture(16, 16, want)), QString());
}

void TestDecoders::gif_decode_full_code_table()
{
    // Also covered by the exact-pixel test; here the table must really fill.
    const PictureBytes bytes = Load("gif_full_code_table.gif");
    const GifIndex index = Index("gif_full_code_table.gif");
    std::vector<std::uint8_t> indices(64 * 64);
    std::uint64_t decoded = 0;
    QCOMPARE(DecodeGifFrame(bytes, index.frames.at(0), indices.data(), decoded), DecodeError::None);
    QCOMPARE(decoded, std::uint64_t{64 * 64});
    QCOMPARE(Difference(FrameAfter("gif_full_code_table.gif", 1), LoadExpected("gif_full_code_table.gif")), QString());
}

void TestDecoders::gif_compose_frames_in_order()
{
    const std::unique_ptr<Animation> player = Player("good_gif_animated.gif");
    QCOMPARE(player->Width(), 4);
    QCOMPARE(player->FrameCount(), std::size_t{4});
    QVERIFY(player->Canvas().Empty());
    std::vector<int> delays;
    for (std::size_t i = 0; i < player->FrameCount(); ++i)
        delays.push_back(player->DelayMs(i));
    QCOMPARE(delays, (std::vector<int>{50, 100, 250, 30}));

    const std::vector<std::uint32_t> red(16, kR);
    auto f2 = red;
    f2[5] = f2[6] = f2[9] = kG;        // 2 × 2 at (1,1), (2,2) transparent
    auto f3 = red;
    f3[0] = kB;                        // green area put back, blue at (0,0)
    auto f4 = red;
    f4[7] = f4[11] = f4[15] = kW;      // blue area put back, column x=3 but row 0
    const std::vector<std::vector<std::uint32_t>> want = {red, f2, f3, f4, red, f2};
    for (std::size_t i = 0; i < want.size(); ++i) {
        QCOMPARE(player->Advance(), DecodeError::None);
        QCOMPARE(player->Current(), i % 4);
        QCOMPARE(Difference(player->Canvas(), Picture(4, 4, want[i])), QString());
    }
    // Back to the start: nothing composed, then the first frame again.
    player->Reset();
    QVERIFY(player->Canvas().Empty());
    QCOMPARE(player->Advance(), DecodeError::None);
    QCOMPARE(Difference(player->Canvas(), Picture(4, 4, red)), QString());
}

void TestDecoders::gif_player_clone_is_independent_and_shares_bytes()
{
    const auto bytes = std::make_shared<const PictureBytes>(Load("good_gif_animated.gif"));
    DecodedPicture picture;
    QCOMPARE(DecodePicture(bytes, picture), DecodeError::None);
    QCOMPARE(bytes.use_count(), 2); // the caller's and the player's, no copy
    Animation& player = *picture.animation;
    QCOMPARE(player.Advance(), DecodeError::None);
    QCOMPARE(player.Advance(), DecodeError::None);
    const std::unique_ptr<Animation> clone = player.Clone();
    QCOMPARE(bytes.use_count(), 3);
    QVERIFY(clone->Canvas().Empty()); // at its start
    std::vector<std::uint32_t> f2(16, kR);
    f2[5] = f2[6] = f2[9] = kG;
    // Driven on another thread while the original goes on here.
    Image fromThread;
    std::thread worker([&] {
        for (int i = 0; i < 6; ++i)
            clone->Advance();
        fromThread = clone->Canvas();
    });
    QCOMPARE(player.Advance(), DecodeError::None);
    worker.join();
    QCOMPARE(player.Current(), std::size_t{2});
    QCOMPARE(clone->Current(), std::size_t{1});
    QCOMPARE(Difference(fromThread, Picture(4, 4, f2)), QString());
}

void TestDecoders::gif_loop_count_from_file()
{
    // How often each file asks to be played: no extension once, a repeat
    // count of 3 four times, a repeat count of 0 for ever.
    QCOMPARE(Player("good_gif_animated.gif")->LoopCount(), 1);
    QCOMPARE(Player("gif_loop_three.gif")->LoopCount(), 4);
    QCOMPARE(Index("gif_long_recording.gif").loopCount, 0);
}

void TestDecoders::gif_long_recording_plays_every_frame()
{
    // 550 frames of 800 × 600: more than the memory cap if every frame
    // were kept, so it plays frame by frame. Frame i is all one colour.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_long_recording.gif"), picture), DecodeError::None);
    QCOMPARE(picture.Width(), 800);
    QCOMPARE(picture.Height(), 600);
    QCOMPARE(PixelAt(picture.image, 799, 599), Argb(255, 0, 255, 0));
    QVERIFY(picture.Animated());
    Animation& player = *picture.animation;
    QCOMPARE(player.FrameCount(), std::size_t{550});
    QCOMPARE(player.DelayMs(549), 40);
    for (std::size_t i = 0; i < 551; ++i) {
        QCOMPARE(player.Advance(), DecodeError::None);
        const std::uint32_t n = static_cast<std::uint32_t>(i % 550);
        const std::uint32_t want = Argb(255, n % 256, 255 - n % 256, n / 256);
        const Image& canvas = player.Canvas();
        QCOMPARE(Hex(PixelAt(canvas, 0, 0)), Hex(want));
        QCOMPARE(Hex(PixelAt(canvas, 799, 599)), Hex(want));
        QCOMPARE(Hex(PixelAt(canvas, 400, 300)), Hex(want));
    }
    QCOMPARE(player.Current(), std::size_t{0});
}

void TestDecoders::gif_damaged_frame_ends_play_on_last_good_frame()
{
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_damaged_third_frame.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(4, 4, std::vector<std::uint32_t>(16, kR))), QString());
    Animation& player = *picture.animation;
    QCOMPARE(player.FrameCount(), std::size_t{4});
    QCOMPARE(player.Advance(), DecodeError::None);
    QCOMPARE(player.Advance(), DecodeError::None);
    std::vector<std::uint32_t> f2(16, kR);
    f2[5] = f2[6] = f2[9] = kG;
    QCOMPARE(player.Advance(), DecodeError::CorruptData);
    QCOMPARE(player.Current(), std::size_t{1});
    QCOMPARE(Difference(player.Canvas(), Picture(4, 4, f2)), QString());
}

void TestDecoders::gif_compose_disposal3_at_image_edge()
{
    std::vector<std::uint32_t> want(9, kR);
    want[8] = kG;
    QCOMPARE(Difference(FrameAfter("gif_disposal3_edge.gif", 2), Picture(3, 3, want)), QString());
    want[8] = kR;
    want[0] = kB;
    QCOMPARE(Difference(FrameAfter("gif_disposal3_edge.gif", 3), Picture(3, 3, want)), QString());
}

void TestDecoders::gif_compose_frame_outside_screen()
{
    const GifIndex index = Index("gif_frame_outside_screen.gif");
    QCOMPARE(index.frames.size(), std::size_t{2});
    QCOMPARE(index.frames[1].clipWidth * index.frames[1].clipHeight, 0);
    const Image first = FrameAfter("gif_frame_outside_screen.gif", 1);
    QCOMPARE(Difference(FrameAfter("gif_frame_outside_screen.gif", 2), first), QString());
}

void TestDecoders::gif_compose_disposal_of_empty_frame()
{
    // Found by the fuzzer: a disposal-2/3 frame that shows no pixels saved
    // a zero-width area through a null pointer.
    // And, found as slow: small frames on an 11780 × 1028 screen, where each
    // new loop cleared the whole screen; now only where frames drew, which
    // must still leave the first frame as it was on the first loop.
    for (const char* name : {"fuzz-regressions/gif_disposal_empty_frame.gif",
                             "fuzz-regressions/gif_wide_screen_small_frames.gif"}) {
        const std::unique_ptr<Animation> player = Player(name);
        player->Advance();
        const Image first = player->Canvas();
        for (std::size_t i = 0; i < player->FrameCount(); ++i)
            player->Advance();
        QCOMPARE(player->Current(), std::size_t{0});
        QCOMPARE(player->Canvas().pixels.size(),
                 static_cast<std::size_t>(player->Width()) * static_cast<std::size_t>(player->Height()));
        QVERIFY(player->Canvas().pixels == first.pixels);
    }
}

void TestDecoders::pcx_decode_rle_past_image()
{
    Image image;
    QCOMPARE(DecodePcx(Load("pcx_rle_past_image.pcx"), image), DecodeError::None);
    QCOMPARE(Difference(image, Picture(3, 1, std::vector<std::uint32_t>(3, 0xFF090909))), QString());
}

void TestDecoders::caps_on_sides_and_memory()
{
    QCOMPARE(CheckDimensions(32627, 1), DecodeError::None);
    QCOMPARE(CheckDimensions(32628, 1), DecodeError::TooLarge);
    QCOMPARE(CheckDimensions(1, 32628), DecodeError::TooLarge);
    QCOMPARE(CheckDimensions(0, 5), DecodeError::UnsupportedDimension);
    QCOMPARE(CheckDimensions(5, -1), DecodeError::UnsupportedDimension);
    // 8192 × 8192 × 4 bytes is exactly 256 MiB; one more row is over.
    QCOMPARE(CheckDimensions(8192, 8192), DecodeError::None);
    QCOMPARE(CheckDimensions(8192, 8193), DecodeError::TooLarge);
}

QTEST_GUILESS_MAIN(TestDecoders)
#include "test_decoders.moc"
