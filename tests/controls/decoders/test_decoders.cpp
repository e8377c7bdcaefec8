// The decoders on their own, without widgets: recognition, known pictures
// to exact pixels, and every crafted malformed file. The GIF player has a
// suite of its own.

#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"
#include "controls/decoders/Decoders.h"
#include "controls/decoders/PictureBytes.h"
#include "tests/controls/decoders/DecoderTestData.h"
#include "tests/support/AddressSpaceLimit.h"

#include <QTest>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <optional>

#include <jpeglib.h>

using namespace mugrove;
using namespace mugrove::testing;

Q_DECLARE_METATYPE(mugrove::ImageKind)
Q_DECLARE_METATYPE(mugrove::DecodeError)

namespace {

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
                QSKIP("no address-space limit here (a sanitizer build, or a lower hard limit)");
        }
        // A starved process is this one: the decoders' own handling of it
        // is seen here, a decoder process's in the sandbox's tests.
        got = starved ? DecodePictureInProcess(bytes, picture) : DecodePicture(bytes, picture);
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
