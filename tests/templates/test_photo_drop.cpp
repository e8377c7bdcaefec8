// Dropping picture files on the work area.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/decoders/DecodedPicture.h"
#include "templates/PhotoDrop.h"
#include "tests/support/AddressSpaceLimit.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>


using namespace mugrove;

namespace {

QString Data(const char* name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + QString::fromUtf8(name);
}

struct Dropping {
    std::unique_ptr<Form> form = CreateForm(DefaultWindowDefinition());
    Dropping()
    {
        BindEvents(*form);
        form->window->Created.Raise();
        form->templateList->setCurrentRow(0); // 234 x 234 before any drop
    }

    // Drops the files on the work area as a file manager would.
    void Drop(const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(QPoint(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &enter);
        QDropEvent drop(QPointF(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &drop);
    }

    QSize Size() const { return {form->workArea->Width(), form->workArea->Height()}; }
};

} // namespace

class PhotoDropTest : public QObject {
    Q_OBJECT

private slots:
    void dropped_pictures_show_at_their_own_size_data()
    {
        // The sizes the files' headers give (for the icon, the entry its
        // expected pixels describe).
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("own");
        QTest::newRow("bmp") << Data("good_bmp24.bmp") << QSize(3, 2);
        QTest::newRow("gif") << Data("good_gif_animated.gif") << QSize(4, 4);
        QTest::newRow("ico") << Data("good_icon.ico") << QSize(3, 2);
        QTest::newRow("cur") << Data("good_cursor.cur") << QSize(2, 2);
        QTest::newRow("pcx") << Data("good_pcx8.pcx") << QSize(3, 2);
        QTest::newRow("jpeg") << Data("good_jpeg_progressive.jpg") << QSize(24, 16);
        QTest::newRow("png") << Data("good_png_interlaced.png") << QSize(11, 9);
        QTest::newRow("webp") << Data("good_webp_lossy.webp") << QSize(40, 24);
        QTest::newRow("animated webp") << Data("good_webp_animated.webp") << QSize(4, 3);
        // Phone formats: turned a quarter by their own properties.
        QTest::newRow("heic") << Data("good_heic_irot1.heic") << QSize(12, 16);
        QTest::newRow("avif") << Data("good_avif_irot1_imir1.avif") << QSize(2, 4);
        QTest::newRow("avif sequence") << Data("good_avif_sequence.avif") << QSize(4, 2);
        QTest::newRow("jxl") << Data("good_jxl_orientation6.jxl") << QSize(2, 4);
        QTest::newRow("animated jxl") << Data("good_jxl_animated.jxl") << QSize(4, 2);
    }
    void dropped_pictures_show_at_their_own_size()
    {
        QFETCH(QString, file);
        QFETCH(QSize, own);
        QCOMPARE(QSize(ImageFileWidth(file), ImageFileHeight(file)), own);
        Dropping d;
        d.form->workArea->SetLeft(40);
        d.Drop({file});
        QCOMPARE(d.Size(), own);
        QCOMPARE(d.form->workArea->Left(), 40); // the place stays
        QVERIFY(d.form->workArea->Decoded());
        QCOMPARE(d.form->widthLabel->Caption(), QStringLiteral("图片宽度：%1").arg(own.width()));
        QCOMPARE(d.form->heightLabel->Caption(), QStringLiteral("图片高度：%1").arg(own.height()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(std::ranges::equal(d.form->workArea->Picture(), bytes, {}, {},
                                   [](char c) { return std::uint8_t(c); }));
    }

    void dropped_clips_play_at_their_display_size()
    {
        struct Case {
            const char* file;
            QSize shown;
        };
        for (const Case& c : {Case{"count_h264.mp4", {48, 32}}, Case{"count_vp9.webm", {48, 32}},
                              Case{"rotated_90.mp4", {32, 48}}, Case{"wide_pixels.mkv", {96, 32}}}) {
            const QString file = Data("../clips/") + QString::fromUtf8(c.file);
            QCOMPARE(QSize(ImageFileWidth(file), ImageFileHeight(file)), c.shown);
            Dropping d;
            d.Drop({file});
            QCOMPARE(d.Size(), c.shown);
            QVERIFY(d.form->workArea->Decoded() && d.form->workArea->Decoded()->Animated());
            QCOMPARE(d.form->widthLabel->Caption(), QStringLiteral("图片宽度：%1").arg(c.shown.width()));
        }
    }

    void a_bad_drop_leaves_the_picture_and_size()
    {
        QTemporaryDir dir;
        // A file just past the size read, sparse so that it costs no disk.
        const QString oversized = dir.filePath(QStringLiteral("oversized.png"));
        {
            QFile f(oversized);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(kMaxPictureFileBytes + 1));
        }
        struct Case {
            QString file;
            DecodeError error;
        };
        const Case bad[] = {{Data("../clips/sound_only.mp4"), DecodeError::Unrecognised}, // no video
                            {Data("../clips/cut_index_last.mp4"), DecodeError::Unrecognised}, // no index: no video
                            {Data("../clips/huge_claim.mkv"), DecodeError::TooLarge},
                            {Data("../clips/heif_brand.mp4"), DecodeError::BadHeader}, // a HEIF without its boxes
                            {Data("tiff_header.tif"), DecodeError::Unrecognised},
                            {Data("png_truncated_idat.png"), DecodeError::TruncatedInput},
                            {Data("webp_corrupt_bitstream.webp"), DecodeError::CorruptData},
                            {Data("bmp_truncated_rows.bmp"), DecodeError::TruncatedInput},
                            {Data("heic_grid_over_cap.heic"), DecodeError::TooLarge},
                            {Data("avif_truncated.avif"), DecodeError::TruncatedInput},
                            {Data("jxl_truncated.jxl"), DecodeError::TruncatedInput},
                            {dir.filePath(QStringLiteral("missing.jpg")), DecodeError::CannotOpen},
                            {dir.path(), DecodeError::CannotOpen},
                            {oversized, DecodeError::TooLarge},
                            {Data("five_bytes.bin"), DecodeError::Unrecognised}};
        for (const Case& c : bad) {
            Dropping d;
            const PictureBytes before = d.form->workArea->Picture();
            d.Drop({c.file});
            QCOMPARE(d.Size(), QSize(234, 234));
            QVERIFY2(d.form->workArea->Picture() == before, qPrintable(c.file));
            QCOMPARE(d.form->widthLabel->Caption(), QStringLiteral("图片宽度：234"));
            QCOMPARE(ImageFileWidth(c.file), 0);
            QCOMPARE(ImageFileHeight(c.file), 0);
            std::shared_ptr<const PictureBytes> bytes;
            std::unique_ptr<DecodedPicture> decoded;
            const DecodeError e = DecodePictureFile(c.file, bytes, decoded);
            QVERIFY2(e == c.error, qPrintable(QStringLiteral("%1: %2").arg(c.file).arg(int(e))));
            QVERIFY(!decoded);
        }
    }

    void a_file_without_room_to_be_read_changes_nothing()
    {
        // 200 MB of nothing, within the size read, sparse so that it costs
        // no disk; no room is left for it.
        QTemporaryDir dir;
        const QString big = dir.filePath(QStringLiteral("big.png"));
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(200 << 20));
        }
        Dropping d;
        DecodeError e = DecodeError::None;
        std::unique_ptr<DecodedPicture> decoded;
        {
            mugrove::testing::AddressSpaceLimit limit(std::uint64_t{16} << 20);
            if (!limit.Active())
                QSKIP("no address-space limit here (a sanitizer build, or a lower hard limit)");
            std::shared_ptr<const PictureBytes> bytes;
            e = DecodePictureFile(big, bytes, decoded);
            d.Drop({big});
        }
        QCOMPARE(e, DecodeError::OutOfMemory);
        QVERIFY(!decoded);
        QCOMPARE(d.Size(), QSize(234, 234));
    }

    void the_first_file_that_decodes_is_used()
    {
        Dropping d;
        d.Drop({Data("tiff_header.tif"), Data("good_pcx8.pcx"), Data("good_bmp24.bmp")});
        QCOMPARE(d.Size(), QSize(3, 2)); // the PCX picture's
    }

    void a_path_with_any_characters_opens()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("照片 ünï 🐼 #1.bmp"));
        QVERIFY(QFile::copy(Data("good_bmp8.bmp"), path));
        Dropping d;
        d.Drop({path});
        QCOMPARE(d.Size(), QSize(4, 2)); // the BMP picture's
    }

    void dropped_names_split_on_crlf()
    {
        QCOMPARE(DroppedFileNames(QStringLiteral("/a b.jpg")), QStringList({"/a b.jpg"}));
        QCOMPARE(DroppedFileNames(QStringLiteral("/a\r\n/b\r\n")), QStringList({"/a", "/b"}));
        QVERIFY(DroppedFileNames(QString()).isEmpty());
    }
};

QTEST_MAIN(PhotoDropTest)
#include "test_photo_drop.moc"
