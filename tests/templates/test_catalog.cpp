// The template catalogue's pictures and the zoom's scaling rule, without a
// window.
#include "controls/decoders/Decoders.h"
#include "templates/Catalog.h"
#include "templates/Zoom.h"

#include <QSize>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

using namespace mugrove;

namespace {

enum Header { Exif, Jfif };
struct Kind {
    bool progressive;
    int components;
    Header header;
    int width, height; // the picture's own size
};

// What each picture file must be, from the catalogue.
const Kind kKinds[38] = {
    {true, 3, Exif, 234, 234}, {true, 3, Exif, 218, 218}, {true, 3, Exif, 160, 155},
    {true, 3, Exif, 164, 156}, {true, 3, Exif, 208, 207}, {true, 3, Exif, 156, 172},
    {true, 1, Exif, 160, 131}, {true, 3, Exif, 133, 139}, {true, 3, Exif, 154, 172},
    {true, 3, Exif, 264, 237}, {true, 3, Exif, 287, 213}, {true, 3, Exif, 347, 231},
    {false, 3, Jfif, 225, 225}, {true, 3, Exif, 198, 197}, {false, 3, Jfif, 198, 198},
    {true, 3, Jfif, 266, 266}, {true, 3, Jfif, 264, 265}, {false, 3, Exif, 290, 265},
    {false, 3, Exif, 206, 206}, {false, 3, Exif, 208, 210}, {false, 3, Exif, 220, 220},
    {false, 3, Exif, 220, 220}, {false, 3, Exif, 220, 220}, {false, 3, Exif, 220, 220},
    {false, 3, Exif, 198, 198}, {false, 3, Exif, 171, 163}, {true, 3, Exif, 258, 253},
    {true, 3, Exif, 400, 400}, {true, 3, Exif, 182, 198}, {true, 3, Exif, 300, 300},
    {true, 3, Exif, 186, 198}, {true, 3, Exif, 198, 175}, {true, 1, Exif, 198, 193},
    {true, 3, Exif, 125, 174}, {true, 3, Exif, 205, 177}, {true, 3, Exif, 300, 300},
    {true, 3, Exif, 300, 300}, {true, 3, Exif, 198, 187},
};

// The first segment after SOI and the frame header, read from the markers.
struct JpegFacts {
    Header header;
    bool progressive;
    int components, width, height;
};

std::optional<JpegFacts> ReadJpegFacts(std::span<const std::uint8_t> d)
{
    if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return std::nullopt;
    JpegFacts facts{};
    bool first = true;
    std::size_t at = 2;
    while (at + 4 <= d.size() && d[at] == 0xFF) {
        const int marker = d[at + 1];
        const std::size_t length = std::size_t(d[at + 2]) << 8 | d[at + 3];
        const std::size_t body = at + 4;
        if (first) {
            const auto is = [&](const char* tag, std::size_t n) {
                return body + n <= d.size() && std::equal(tag, tag + n, d.begin() + body);
            };
            if (marker == 0xE1 && is("Exif\0\0", 6)) facts.header = Exif;
            else if (marker == 0xE0 && is("JFIF\0", 5)) facts.header = Jfif;
            else return std::nullopt;
            first = false;
        }
        if (marker == 0xC0 || marker == 0xC2) {
            if (body + 6 > d.size())
                return std::nullopt;
            facts.progressive = marker == 0xC2;
            facts.height = d[body + 1] << 8 | d[body + 2];
            facts.width = d[body + 3] << 8 | d[body + 4];
            facts.components = d[body + 5];
            return facts;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace

class CatalogTest : public QObject {
    Q_OBJECT

private slots:
    void every_picture_has_its_size_kind_and_header()
    {
        QCOMPARE(TemplateCatalog::Count(), 38);
        QVERIFY(!TemplateCatalog::Find(-1));
        QVERIFY(!TemplateCatalog::Find(38));
        int progressive = 0, grey = 0, exif = 0;
        for (int i = 0; i < TemplateCatalog::kCount; ++i) {
            const TemplateEntry* entry = TemplateCatalog::Find(i);
            QVERIFY(entry);
            const auto facts = ReadJpegFacts(entry->picture);
            QVERIFY2(facts, qPrintable(QString::number(i)));
            const Kind& want = kKinds[i];
            QCOMPARE(facts->progressive, want.progressive);
            QCOMPARE(facts->components, want.components);
            QCOMPARE(facts->header, want.header);
            QCOMPARE(QSize(facts->width, facts->height), QSize(want.width, want.height));
            // Shown at their own size, except the two cats at 265 x 265.
            const QSize shown = (i == 15 || i == 16) ? QSize(265, 265) : QSize(want.width, want.height);
            QCOMPARE(QSize(entry->displayWidth, entry->displayHeight), shown);
            // The program's own decoder reads it at that size, and as the
            // decoder process would: no template has a colour profile to apply.
            DecodedPicture decoded, full;
            QCOMPARE(DecodeOwnPicture(entry->picture, decoded), DecodeError::None);
            QCOMPARE(decoded.kind, ImageKind::Jpeg);
            QCOMPARE(QSize(decoded.Width(), decoded.Height()), QSize(want.width, want.height));
            QCOMPARE(DecodePictureInProcess(entry->picture, full), DecodeError::None);
            QVERIFY(decoded.image.pixels == full.image.pixels);
            progressive += facts->progressive;
            grey += facts->components == 1;
            exif += facts->header == Exif;
            for (int j = 0; j < i; ++j) // no two entries share a picture
                QVERIFY(!std::ranges::equal(entry->picture, TemplateCatalog::Find(j)->picture));
        }
        QCOMPARE(progressive, 27);
        QCOMPARE(grey, 2);
        QCOMPARE(exif, 34);
    }

    void scale_to_pixels_matches_the_integer_form()
    {
        for (std::int32_t n = 0; n <= 40000; ++n) {
            QCOMPARE(ScaleToPixels(n, kZoomInFactor), std::int32_t(std::int64_t(n) * 11 / 10));
            QCOMPARE(ScaleToPixels(n, kZoomOutFactor), std::int32_t(std::int64_t(n) * 9 / 10));
        }
        QCOMPARE(ScaleToPixels(129, kZoomInFactor), 141);
        QCOMPARE(ScaleToPixels(2147483647, kZoomInFactor), 2147483647); // saturates, no overflow
        QCOMPARE(ScaleToPixels(-10, kZoomOutFactor), -9);
    }

    // Into 379 × 384: the side that meets the frame first fills it, the
    // other keeps the proportions, rounded to the nearest pixel.
    void fit_in_frame_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("fitted");
        QTest::newRow("4000 x 3000 photo") << QSize(4000, 3000) << QSize(379, 284);   // 284.25
        QTest::newRow("3000 x 4000 photo") << QSize(3000, 4000) << QSize(288, 384);   // 288
        QTest::newRow("tall strip") << QSize(300, 900) << QSize(128, 384);
        QTest::newRow("small, grows") << QSize(20, 10) << QSize(379, 190);             // 189.5
        QTest::newRow("the frame's own shape") << QSize(379, 384) << QSize(379, 384);
        QTest::newRow("a thin line keeps a pixel") << QSize(32000, 1) << QSize(379, 1);
        QTest::newRow("no picture") << QSize(0, 0) << QSize();
    }
    void fit_in_frame()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, fitted);
        QCOMPARE(FitInFrame(picture), fitted);
    }
};

QTEST_GUILESS_MAIN(CatalogTest)
#include "test_catalog.moc"
