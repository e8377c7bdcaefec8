// Dropping picture files on the work area.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/EditBox.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "templates/PhotoDrop.h"

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

    // Drags the files to a point of the window's client area and drops them
    // on whatever takes drops there, as the window system would: the topmost
    // control under the point, or the nearest of its parents that takes
    // drops. The answer the drag got while over the point (none when nothing
    // took it).
    Qt::DropAction DropAt(QPoint client, const QStringList& paths)
    {
        QWidget* receiver = form->window->childAt(client);
        while (receiver && !receiver->acceptDrops())
            receiver = receiver->parentWidget();
        if (!receiver)
            return Qt::IgnoreAction;
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint local = receiver->mapFrom(form->window.get(), client);
        const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(local, allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(receiver, &enter);
        if (!enter.isAccepted())
            return Qt::IgnoreAction;
        QDropEvent drop(QPointF(local), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(receiver, &drop);
        return enter.dropAction();
    }
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

    void a_bad_drop_leaves_the_picture_and_size()
    {
        QTemporaryDir dir;
        const QStringList bad = {Data("tiff_header.tif"), Data("png_truncated_idat.png"),
                                 Data("webp_corrupt_bitstream.webp"), Data("bmp_truncated_rows.bmp"),
                                 dir.filePath(QStringLiteral("missing.jpg")), dir.path(),
                                 Data("five_bytes.bin")};
        for (const QString& file : bad) {
            Dropping d;
            const PictureBytes before = d.form->workArea->Picture();
            d.Drop({file});
            QCOMPARE(d.Size(), QSize(234, 234));
            QVERIFY2(d.form->workArea->Picture() == before, qPrintable(file));
            QCOMPARE(d.form->widthLabel->Caption(), QStringLiteral("图片宽度：234"));
            QCOMPARE(ImageFileWidth(file), 0);
            QCOMPARE(ImageFileHeight(file), 0);
        }
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

    void drops_land_anywhere_on_the_frame_data()
    {
        // Client points (window definition): the frame 分组框3 spans (0, 3)
        // to (392, 403); the picture starts at (5, 16); the caption lies at
        // (32, 216) to (200, 240), over the 234 x 234 template.
        QTest::addColumn<bool>("smallPicture"); // 123 x 77 first: the frame shows beside it
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("file");
        QTest::addColumn<Qt::DropAction>("answer");
        QTest::addColumn<QSize>("after");
        const QString pcx = Data("good_pcx8.pcx"); // 3 x 2
        const QString tiff = Data("tiff_header.tif");
        QTest::newRow("frame beside a small picture")
            << true << QPoint(300, 300) << pcx << Qt::CopyAction << QSize(3, 2);
        QTest::newRow("frame's title above the picture")
            << false << QPoint(200, 8) << pcx << Qt::CopyAction << QSize(3, 2);
        QTest::newRow("frame's bottom-right corner")
            << false << QPoint(390, 401) << pcx << Qt::CopyAction << QSize(3, 2);
        QTest::newRow("caption over the picture")
            << false << QPoint(116, 228) << pcx << Qt::CopyAction << QSize(3, 2);
        QTest::newRow("caption beside a small picture")
            << true << QPoint(190, 238) << pcx << Qt::CopyAction << QSize(3, 2);
        QTest::newRow("unreadable file on the frame changes nothing")
            << true << QPoint(300, 300) << tiff << Qt::CopyAction << QSize(123, 77);
        QTest::newRow("template list is no drop place")
            << false << QPoint(500, 250) << pcx << Qt::IgnoreAction << QSize(234, 234);
        QTest::newRow("caption text box is no drop place for photos")
            << false << QPoint(490, 54) << pcx << Qt::IgnoreAction << QSize(234, 234);
    }
    void drops_land_anywhere_on_the_frame()
    {
        QFETCH(bool, smallPicture);
        QFETCH(QPoint, at);
        QFETCH(QString, file);
        QFETCH(Qt::DropAction, answer);
        QFETCH(QSize, after);
        QTemporaryDir dir;
        const QString small = dir.filePath(QStringLiteral("small.png"));
        QImage picture(123, 77, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(small, "PNG"));
        Dropping d;
        if (smallPicture) {
            d.Drop({small});
            QCOMPARE(d.Size(), QSize(123, 77));
        }
        const QString edited = d.form->captionBox->Content();
        QCOMPARE(d.DropAt(at, {file}), answer);
        QCOMPARE(d.Size(), after);
        QCOMPARE(d.form->captionBox->Content(), edited);
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
