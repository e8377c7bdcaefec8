// The snapshot of the work area: the BMP layout, what is in the picture, the
// size rules, and the copy to the clipboard.
#include "tests/support/ShownForm.h"

#include "app/model/Button.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "BmpRead.h"
#include "output/BmpLayout.h"
#include "output/Clipboard.h"
#include "output/Snapshot.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QTest>

#include <cstdint>
#include <cstring>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

PictureBytes Load(const char* name)
{
    QFile f(QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + QString::fromLatin1(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", name);
    const QByteArray b = f.readAll();
    return PictureBytes(b.begin(), b.end());
}

std::uint32_t U32(const PictureBytes& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16
        | std::uint32_t(b[at + 3]) << 24;
}

std::uint16_t U16(const PictureBytes& b, std::size_t at)
{
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

QImage Pixels(const PictureBytes& snapshot)
{
    const auto image = DecodeToImage(snapshot);
    return image ? *image : QImage();
}

// Counts pixels that differ from `colour`.
int CountOtherThan(const QImage& image, QColor colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y).rgb() != colour.rgb();
    return count;
}

// A plain opaque sibling of the work area, as any control over the box is.
QWidget* Patch(Form& form, QRect geometry, QColor colour)
{
    auto* patch = new QWidget(Box(form).parentWidget());
    patch->setGeometry(geometry);
    patch->setAutoFillBackground(true);
    QPalette palette = patch->palette();
    palette.setColor(QPalette::Window, colour);
    patch->setPalette(palette);
    patch->show();
    return patch;
}

} // namespace

class SnapshotTest : public QObject {
    Q_OBJECT
private slots:
    void decode_to_image_composes_onto_white()
    {
        const PictureBytes icon = Load("good_icon_mask.ico");
        const std::optional<QImage> image = DecodeToImage(icon);
        QVERIFY(image.has_value());
        QCOMPARE(image->size(), QSize(3, 2));
        QCOMPARE(image->pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(image->pixel(1, 0), qRgb(0, 255, 0));
        QVERIFY(DecodeToImage(Load("good_bmp24.bmp")).has_value());
        QCOMPARE(DecodeToImage(Load("good_bmp24.bmp"))->pixel(2, 1), qRgb(255, 255, 0));
        QVERIFY(!DecodeToImage(Load("tiff_header.tif")).has_value());
        QVERIFY(!DecodeToImage(Load("five_bytes.bin")).has_value());
    }

    void packing_writes_headers_bottom_up_rows_and_zero_padding()
    {
        QImage image(3, 2, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(1, 2, 3));
        image.setPixel(1, 0, qRgb(4, 5, 6));
        image.setPixel(2, 0, qRgb(7, 8, 9));
        image.setPixel(0, 1, qRgb(10, 11, 12));
        image.setPixel(1, 1, qRgb(13, 14, 15));
        image.setPixel(2, 1, qRgb(16, 17, 18));
        const PictureBytes bmp = PackBmp24(ShownPicture(image));
        const std::uint8_t expected[] = {
            'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
            40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 24, 0, 0, 0,
            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
            12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0, // bottom row first, B G R
            3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0,
        };
        QCOMPARE(bmp.size(), sizeof expected);
        QVERIFY(std::memcmp(bmp.data(), expected, sizeof expected) == 0);

        const auto back = DecodeToImage(bmp);
        QVERIFY(back);
        QCOMPARE(back->convertToFormat(QImage::Format_RGB32), image);
    }

    void every_width_packs_and_reads_back_exactly()
    {
        // Widths around the four-pixel steps of the packing, each padding
        // length, and a width with no padding whose top row ends the file.
        for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 100, 379}) {
            QImage image(width, 5, QImage::Format_RGB32);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < width; ++x)
                    image.setPixel(x, y, qRgb((x * 37 + y) & 0xFF, (x * 11 + y * 29) & 0xFF, (x + y * 53) & 0xFF));
            const PictureBytes bmp = PackBmp24(ShownPicture(image));
            const std::size_t stride = (3 * std::size_t(width) + 3) / 4 * 4; // rows padded to 4 bytes
            QCOMPARE(bmp.size(), 54 + stride * 5);
            const auto back = DecodeToImage(bmp);
            QVERIFY(back);
            QCOMPARE(*back, image);
            for (std::size_t row = 0; row < 5; ++row)
                for (std::size_t pad = 3 * std::size_t(width); pad < stride; ++pad)
                    QCOMPARE(int(bmp[54 + row * stride + pad]), 0);
        }
    }

    void only_the_exact_snapshot_layout_is_read_back()
    {
        QImage image(5, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        const PictureBytes good = PackBmp24(ShownPicture(image));
        QVERIFY(ReadBmp24(good));
        PictureBytes shortFile(good.begin(), good.end() - 1);
        QVERIFY(!ReadBmp24(shortFile));
        PictureBytes otherDepth = good;
        otherDepth[28] = 32;
        QVERIFY(!ReadBmp24(otherDepth));
        PictureBytes topDown = good;
        topDown[25] = 0xFF; // height -4
        topDown[22] = 0xFC;
        topDown[23] = topDown[24] = 0xFF;
        QVERIFY(!ReadBmp24(topDown));
        QVERIFY(!ReadBmp24(PictureBytes{}));
        QVERIFY(!DecodeToImage(PictureBytes(good.begin(), good.begin() + 54)));
    }

    void the_start_size_box_gives_a_437814_byte_file()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QWidget& box = Box(*form);
        QCOMPARE(box.size(), QSize(379, 384));
        // A picture with another colour at its bottom-left corner.
        QImage picture(box.size(), QImage::Format_RGB32);
        picture.fill(kBackground);
        picture.setPixel(0, 383, qRgb(201, 102, 3));
        form->workArea->SetPicture(PackBmp24(ShownPicture(picture)));
        form->workArea->SetDisplayMode(1);

        const PictureBytes shot = TakeSnapshot(&box, 379, 384);
        QCOMPARE(shot.size(), std::size_t{437814});
        QCOMPARE(U32(shot, 2), 437814u);
        QCOMPARE(U32(shot, 10), 54u);
        QCOMPARE(U32(shot, 18), 379u);
        QCOMPARE(U32(shot, 22), 384u);
        QCOMPARE(U16(shot, 28), std::uint16_t{24});
        QCOMPARE(U32(shot, 34), 437760u);
        QCOMPARE(BmpStride(379), std::size_t{1140});
        // The first pixel stored is the box's bottom-left one, blue first.
        QCOMPARE(int(shot[54]), 3);
        QCOMPARE(int(shot[55]), 102);
        QCOMPARE(int(shot[56]), 201);
        for (std::size_t row = 0; row < 384; ++row)
            for (std::size_t pad = 1137; pad < 1140; ++pad)
                QCOMPARE(int(shot[54 + row * 1140 + pad]), 0);
    }

    void the_picture_is_the_box_and_its_captions_as_the_window_shows_them()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QWidget& box = Box(*form);
        form->captionOverlay->SetCaption(QStringLiteral("这里显示文字 WYSIWYG"));
        const QRect area = box.geometry();
        // A control over the box is the window's, not the picture's; one
        // beneath it and a hidden one are not on screen at all.
        QWidget* over = Patch(*form, QRect(area.left() + 100, area.top() + 50, 30, 20), Qt::red);
        Patch(*form, QRect(area.left() + 10, area.top() + 10, 30, 20), Qt::green)->lower();
        Patch(*form, QRect(area.left() + 200, area.top() + 10, 30, 20), Qt::yellow)->hide();

        const QImage shot = Pixels(TakeSnapshot(&box, 0, 0));
        over->hide();
        const QImage screen = box.parentWidget()->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), area.size());
        QCOMPARE(shot, screen);
        QCOMPARE(shot.pixelColor(110, 60), kBackground);
        QCOMPARE(shot.pixelColor(20, 20), kBackground);
        QCOMPARE(shot.pixelColor(210, 20), kBackground);
        // The caption's glyphs are in the picture.
        const QRect caption = form->captionOverlay->geometry().translated(-area.topLeft());
        QVERIFY(CountOtherThan(shot.copy(caption), kBackground) > 20);
    }

    void a_caption_is_cut_at_the_box_and_absent_when_wholly_outside()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QWidget& box = Box(*form);
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("MMMMMMMMMMMMMMMMMMMMMMMM"));
        const QRect area = box.geometry();

        // Half of it hangs off the right edge.
        caption.SetLeft(area.right() - caption.Width() / 2);
        caption.SetTop(area.top() + 100);
        QImage shot = Pixels(TakeSnapshot(&box, 0, 0));
        QCOMPARE(shot.size(), area.size());
        const int inside = CountOtherThan(shot, kBackground);
        QVERIFY(inside > 20);
        const QRect seen = caption.geometry().intersected(area).translated(-area.topLeft());
        QCOMPARE(CountOtherThan(shot.copy(seen), kBackground), inside);
        // Less of it than when the whole caption lies inside.
        caption.SetLeft(area.left() + 10);
        const int whole = CountOtherThan(Pixels(TakeSnapshot(&box, 0, 0)), kBackground);
        QVERIFY(whole > inside);

        caption.SetLeft(area.right() + 5);
        QCOMPARE(CountOtherThan(Pixels(TakeSnapshot(&box, 0, 0)), kBackground), 0);
        caption.SetLeft(area.left());
        caption.SetTop(area.bottom() + 1);
        QCOMPARE(CountOtherThan(Pixels(TakeSnapshot(&box, 0, 0)), kBackground), 0);
    }

    void an_enlarged_box_is_the_real_picture_beyond_the_window()
    {
        auto form = ShowForm();
        QVERIFY(form);
        form->workArea->SetWidth(900);
        form->workArea->SetHeight(700);
        form->captionOverlay->SetLeft(-500); // out of the way
        const QImage shot = Pixels(TakeSnapshot(&Box(*form), 900, 700));
        QCOMPARE(shot.size(), QSize(900, 700));
        QCOMPARE(shot.pixelColor(899, 699), kBackground);
        QCOMPARE(shot.pixelColor(700, 10), kBackground);
    }

    void sizes_follow_the_percentage_and_rounding_rules()
    {
        QCOMPARE(OutputExtent(0, 379), 379);
        QCOMPARE(OutputExtent(120, 379), 120);
        QCOMPARE(OutputExtent(-50, 379), 190); // 189.5 rounds up
        QCOMPARE(OutputExtent(-150, 379), 569);
        QCOMPARE(OutputExtent(-5, 384), 38);   // below 10 percent counts as 10
        QCOMPARE(OutputExtent(-10, 4), 0);
        QCOMPARE(OutputExtent(std::numeric_limits<int>::min(), 379), -1);

        auto form = ShowForm();
        QVERIFY(form);
        QWidget& box = Box(*form);
        form->captionOverlay->SetLeft(-500);
        PictureBytes shot = TakeSnapshot(&box, -50, -5);
        QCOMPARE(U32(shot, 18), 190u);
        QCOMPARE(U32(shot, 22), 38u);
        QCOMPARE(shot.size(), std::size_t{54 + 572 * 38}); // 570 bytes a row, padded to 572
        // Scaling a plain background keeps its colour.
        QCOMPARE(CountOtherThan(Pixels(shot), kBackground), 0);

        shot = TakeSnapshot(&box, 100, 7);
        QCOMPARE(BmpStride(100), std::size_t{300});
        QCOMPARE(shot.size(), std::size_t{54 + 300 * 7});
        QCOMPARE(U32(shot, 34), 2100u);
    }

    void nothing_to_capture_gives_empty_bytes()
    {
        QVERIFY(TakeSnapshot(nullptr, 0, 0).empty());
        auto form = ShowForm();
        QVERIFY(form);
        QWidget& box = Box(*form);
        QVERIFY(!TakeSnapshot(&box, -1, 0).empty()); // 10 percent, not nothing
        QVERIFY(TakeSnapshot(&box, 0, -200000000).empty());  // does not fit
        QVERIFY(TakeSnapshot(&box, 40000, 40000).empty());   // refused, not allocated
        QPointer<QWidget> gone = Patch(*form, QRect(0, 0, 10, 10), Qt::red);
        delete gone.data();
        QVERIFY(TakeSnapshot(gone.data(), 0, 0).empty());
        form->workArea->SetWidth(0);
        QVERIFY(TakeSnapshot(&box, 0, 0).empty());
        QVERIFY(TakeSnapshot(&box, 50, 50).empty());
    }

    void a_picture_shown_as_it_is_is_read_from_the_picture_with_what_lies_over_it()
    {
        auto form = ShowForm();
        QVERIFY(form);
        PicBox& work = *form->workArea;
        QWidget& box = Box(*form);
        // A picture of the box's size, every pixel different from its neighbours.
        QImage picture(box.size(), QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y * 3) % 256));
        work.SetPicture(PackBmp24(ShownPicture(picture)));
        work.SetDisplayMode(1);
        QVERIFY(!work.PaintedAsIs().isNull());

        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("描边文字 Outline"));
        caption.SetOutline(true);
        const QRect area = box.geometry();
        // Over the top edge first, then across the bottom one.
        for (const QPoint at : {QPoint(area.left() + 40, area.top() - 8),
                                QPoint(area.left() + 120, area.bottom() - 10)}) {
            caption.move(at);
            const QImage shot = Pixels(TakeSnapshot(&box, 0, 0));
            QCOMPARE(shot.size(), box.size());
            // Drawing the whole box anew gives every pixel alike...
            QVERIFY(shot == CaptureWindow(&box));
            // ...and away from the caption the pixels are the picture's own.
            const QRect under = caption.geometry().intersected(area).translated(-area.topLeft());
            for (int y = 0; y < shot.height(); y += 7)
                if (y < under.top() || y > under.bottom())
                    for (int x = 0; x < shot.width(); x += 5)
                        QCOMPARE(shot.pixel(x, y), picture.pixel(x, y));
            QVERIFY(shot.copy(under) != picture.copy(under)); // and the caption is there
        }

        // Without a picture the box is its background, the caption over it.
        work.SetPicture({});
        QVERIFY(work.PaintedPlain());
        const QImage plain = Pixels(TakeSnapshot(&box, 0, 0));
        QVERIFY(plain == CaptureWindow(&box));
        const QRect under = caption.geometry().intersected(area).translated(-area.topLeft());
        QCOMPARE(CountOtherThan(plain, kBackground), CountOtherThan(plain.copy(under), kBackground));
        QVERIFY(CountOtherThan(plain.copy(under), kBackground) > 0);
    }

    void snapshots_of_one_size_in_a_row_each_show_the_box_as_it_is_now()
    {
        auto form = ShowForm();
        QVERIFY(form);
        PicBox& work = *form->workArea;
        QWidget& box = Box(*form);
        form->captionOverlay->SetCaption(QString()); // nothing over the picture
        QImage blue(50, 40, QImage::Format_RGB32);
        blue.fill(QColor(0, 0, 255));
        work.SetPicture(PackBmp24(ShownPicture(blue)));
        work.SetDisplayMode(1); // stretched over the whole box
        const QImage covered = Pixels(TakeSnapshot(&box, 0, 0));
        QCOMPARE(covered.size(), box.size());
        QCOMPARE(CountOtherThan(covered, QColor(0, 0, 255)), 0);

        // Centred at its own size, (379 - 50) / 2 and (384 - 40) / 2 from the
        // corner: the background around it is painted, not left from before.
        work.SetDisplayMode(2);
        const QImage centred = Pixels(TakeSnapshot(&box, 0, 0));
        QCOMPARE(CountOtherThan(centred.copy(164, 172, 50, 40), QColor(0, 0, 255)), 0);
        QCOMPARE(CountOtherThan(centred, kBackground), 50 * 40);

        // Without a picture the whole box is background again.
        work.SetPicture({});
        QCOMPARE(CountOtherThan(Pixels(TakeSnapshot(&box, 0, 0)), kBackground), 0);
    }

    void copy_puts_the_snapshot_pixels_on_the_clipboard()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QWidget& box = Box(*form);
        form->captionOverlay->SetCaption(QStringLiteral("复制这段文字"));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));

        QTest::mouseClick(form->copyButton, Qt::LeftButton);
        QCOMPARE(form->copyButton->Caption(), QStringLiteral("复制成功!!"));
        const QImage placed = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
        const QImage shown = box.parentWidget()->grab(box.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(placed, shown);
        QVERIFY(QGuiApplication::clipboard()->text().isEmpty());

        // A second copy replaces the first.
        form->workArea->SetWidth(200);
        QTest::mouseClick(form->copyButton, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(200, 384));
    }

    void a_copy_with_nothing_to_place_says_so_and_leaves_no_picture()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QTest::mouseClick(form->copyButton, Qt::LeftButton);
        QVERIFY(!QGuiApplication::clipboard()->image().isNull());
        form->workArea->SetWidth(0);
        QTest::mouseClick(form->copyButton, Qt::LeftButton);
        QCOMPARE(form->copyButton->Caption(), QStringLiteral("复制失败!!"));
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
        QVERIFY(!CopyPictureToClipboard(PictureBytes{'B', 'M', 0, 0, 0, 0}));
    }

    void a_copy_that_another_program_takes_over_at_once_still_worked()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QClipboard* clipboard = QGuiApplication::clipboard();
        // A clipboard manager takes the picture the moment it is placed; from
        // then on this program no longer has it to read back.
        int changes = 0;
        const auto manager = connect(clipboard, &QClipboard::dataChanged, this, [&] {
            if (++changes == 1)
                clipboard->clear();
        });
        QTest::mouseClick(form->copyButton, Qt::LeftButton);
        disconnect(manager);
        QCOMPARE(changes, 2);
        QCOMPARE(form->copyButton->Caption(), QStringLiteral("复制成功!!"));
    }
};

QTEST_MAIN(SnapshotTest)
#include "test_snapshot.moc"
