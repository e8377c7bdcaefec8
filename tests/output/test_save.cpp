// Saving to the desktop: the date-time names, the JPEG written, and the ways
// a save can fail without losing or half-writing anything.
#include "ShownForm.h"

#include "app/model/Button.h"
#include "controls/PicBox.h"
#include "output/BmpLayout.h"
#include "output/DateTimeText.h"
#include "output/SaveToDesktop.h"
#include "output/Snapshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

#include <jpeglib.h>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

double At(int y, int mo, int d, int h, int mi, int s)
{
    return ToDateTimeValue(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

struct Decoded {
    QImage image;
    bool progressive = true;
    bool fullChroma = false;
};

// libjpeg's state, kept out of the functions that call setjmp so those hold
// nothing that longjmp would skip destroying.
struct Reader {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    std::jmp_buf failed{};
};

[[noreturn]] void OnReadError(j_common_ptr info)
{
    std::longjmp(static_cast<Reader*>(info->client_data)->failed, 1);
}

bool ReadHeader(Reader* r, const QByteArray* file)
{
    r->info.err = jpeg_std_error(&r->errors);
    r->errors.error_exit = OnReadError;
    r->info.client_data = r;
    if (setjmp(r->failed))
        return false;
    jpeg_create_decompress(&r->info);
    jpeg_mem_src(&r->info, reinterpret_cast<const unsigned char*>(file->constData()),
                 static_cast<unsigned long>(file->size()));
    jpeg_read_header(&r->info, TRUE);
    r->info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&r->info);
    return true;
}

bool ReadRows(Reader* r, uchar* bits, qsizetype bytesPerLine)
{
    if (setjmp(r->failed))
        return false;
    while (r->info.output_scanline < r->info.output_height) {
        JSAMPROW row = bits + bytesPerLine * r->info.output_scanline;
        jpeg_read_scanlines(&r->info, &row, 1);
    }
    jpeg_finish_decompress(&r->info);
    return true;
}

// Decodes with libjpeg itself, so the file is checked by a reader that is not ours.
Decoded DecodeJpeg(const QByteArray& file)
{
    Reader reader;
    Decoded result;
    if (ReadHeader(&reader, &file)) {
        const jpeg_decompress_struct& info = reader.info;
        result.progressive = info.progressive_mode;
        result.fullChroma = info.num_components == 3;
        for (int c = 0; c < info.num_components; ++c)
            result.fullChroma = result.fullChroma && info.comp_info[c].h_samp_factor == 1
                && info.comp_info[c].v_samp_factor == 1;
        QImage image(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
        if (ReadRows(&reader, image.bits(), image.bytesPerLine()))
            result.image = image.convertToFormat(QImage::Format_RGB32);
    }
    jpeg_destroy_decompress(&reader.info);
    return result;
}

QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SaveTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home_;
    QString desktop_;
    QDateTime clock_ = QDateTime(QDate(2026, 12, 8), QTime(5, 39, 33));

private slots:
    void init()
    {
        desktop_ = home_.filePath(QStringLiteral("desk%1/桌面").arg(std::rand()));
        SaveHooks().desktopFolder = [this] { return desktop_; };
        SaveHooks().now = [this] { return clock_; };
    }

    void cleanup() { ResetSaveHooks(); }

    void date_time_text_ends_at_the_last_non_zero_field()
    {
        QCOMPARE(DateTimeToText(At(2026, 12, 8, 5, 39, 33)), QStringLiteral("2026年12月8日5时39分33秒"));
        QCOMPARE(DateTimeToText(At(2026, 12, 8, 0, 0, 7)), QStringLiteral("2026年12月8日0时0分7秒"));
        QCOMPARE(DateTimeToText(At(2026, 12, 8, 5, 39, 0)), QStringLiteral("2026年12月8日5时39分"));
        QCOMPARE(DateTimeToText(At(2026, 12, 8, 0, 7, 0)), QStringLiteral("2026年12月8日0时7分"));
        QCOMPARE(DateTimeToText(At(2026, 12, 8, 5, 0, 0)), QStringLiteral("2026年12月8日5时"));
        QCOMPARE(DateTimeToText(At(2026, 12, 8, 0, 0, 0)), QStringLiteral("2026年12月8日"));
        QCOMPARE(DateTimeToText(At(2026, 1, 2, 3, 4, 5)), QStringLiteral("2026年1月2日3时4分5秒"));
        QCOMPARE(DateTimeToText(At(2024, 2, 29, 23, 59, 59)), QStringLiteral("2024年2月29日23时59分59秒"));
    }

    void date_time_values_round_to_the_second_and_clamp()
    {
        const double day = At(2026, 12, 8, 0, 0, 0);
        QCOMPARE(DateTimeToText(day + 20372.6 / 86400), QStringLiteral("2026年12月8日5时39分33秒"));
        QCOMPARE(DateTimeToText(day + 20373.4 / 86400), QStringLiteral("2026年12月8日5时39分33秒"));
        QCOMPARE(DateTimeToText(day - 0.3 / 86400), QStringLiteral("2026年12月8日"));
        QCOMPARE(DateTimeToText(0.0), QStringLiteral("1899年12月30日"));
        QCOMPARE(DateTimeToText(-1.25), QStringLiteral("1899年12月29日6时"));
        QCOMPARE(DateTimeToText(2958465.0), QStringLiteral("9999年12月31日"));
        QCOMPARE(DateTimeToText(2958465.75), QStringLiteral("9999年12月31日"));
        QCOMPARE(DateTimeToText(1e300), QStringLiteral("9999年12月31日"));
        QCOMPARE(DateTimeToText(-657434.0), QStringLiteral("100年1月1日"));
        QCOMPARE(DateTimeToText(-1e300), QStringLiteral("100年1月1日"));
    }

    void save_writes_a_full_colour_jpeg_of_the_snapshot()
    {
        auto form = ShowForm();
        QVERIFY(form);
        form->captionOverlay->SetCaption(QStringLiteral("保存这段文字 Save"));
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QCOMPARE(FilesIn(desktop_), QStringList{QStringLiteral("2026年12月8日5时39分33秒.jpg")});

        const Decoded saved = DecodeJpeg(ReadAll(desktop_ + QStringLiteral("/2026年12月8日5时39分33秒.jpg")));
        QVERIFY(!saved.image.isNull());
        QVERIFY(!saved.progressive);
        QVERIFY(saved.fullChroma);
        QWidget& box = Box(*form);
        const QImage shot = *DecodeToImage(TakeSnapshot(&box, box.width(), box.height()));
        QCOMPARE(saved.image.size(), shot.size());
        long long total = 0;
        int worst = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb a = shot.pixel(x, y), b = saved.image.pixel(x, y);
                for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) {
                    total += std::abs(d);
                    worst = std::max(worst, std::abs(d));
                }
            }
        const double mean = double(total) / (3.0 * shot.width() * shot.height());
        QVERIFY2(mean < 2.0, qPrintable(QString::number(mean)));
        QVERIFY2(worst < 64, qPrintable(QString::number(worst)));
    }

    void saves_in_the_same_second_never_replace_a_file()
    {
        auto form = ShowForm();
        QVERIFY(form);
        clock_ = QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0));
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        const QByteArray first = ReadAll(desktop_ + QStringLiteral("/2026年12月8日.jpg"));
        QVERIFY(!first.isEmpty());
        form->workArea->SetWidth(300); // a picture that differs from the first
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QCOMPARE(FilesIn(desktop_), (QStringList{QStringLiteral("2026年12月8日 (2).jpg"),
                                                 QStringLiteral("2026年12月8日 (3).jpg"),
                                                 QStringLiteral("2026年12月8日.jpg")}));
        QCOMPARE(ReadAll(desktop_ + QStringLiteral("/2026年12月8日.jpg")), first);
        QVERIFY(ReadAll(desktop_ + QStringLiteral("/2026年12月8日 (2).jpg")) != first);
    }

    void a_desktop_that_cannot_exist_fails_visibly()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QFile blocker(home_.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        desktop_ = blocker.fileName() + QStringLiteral("/Desktop");
        QCOMPARE(GetDesktopFolder(), QString());
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));

        desktop_.clear(); // no desktop known at all: nothing goes to the root
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QVERIFY(!QFile::exists(QStringLiteral("/2026年12月8日5时39分33秒.jpg")));
    }

    void a_write_that_runs_out_of_room_leaves_no_file()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QVERIFY(!GetDesktopFolder().isEmpty());
        rlimit before{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = before;
        tight.rlim_cur = 1000; // far less than any picture
        QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QCOMPARE(FilesIn(desktop_), QStringList{});

        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
    }

    void an_empty_snapshot_is_a_failed_save()
    {
        auto form = ShowForm();
        QVERIFY(form);
        form->workArea->SetHeight(0);
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QCOMPARE(FilesIn(desktop_), QStringList{});
    }

    void write_bytes_reports_the_name_it_used()
    {
        QVERIFY(QDir().mkpath(desktop_));
        const std::uint8_t bytes[] = {1, 2, 3};
        QVERIFY(!WriteBytesToFile(QString(), bytes));
        QString used;
        QVERIFY(WriteBytesToFile(desktop_ + QStringLiteral("/a.b.jpg"), bytes, &used));
        QCOMPARE(used, desktop_ + QStringLiteral("/a.b.jpg"));
        QVERIFY(WriteBytesToFile(desktop_ + QStringLiteral("/a.b.jpg"), bytes, &used));
        QCOMPARE(used, desktop_ + QStringLiteral("/a.b (2).jpg"));
        QCOMPARE(ReadAll(used), QByteArray("\x01\x02\x03"));
        QVERIFY(!WriteBytesToFile(desktop_ + QStringLiteral("/missing/x.jpg"), bytes));
        QCOMPARE(FilesIn(desktop_).size(), 2);
    }
};

QTEST_MAIN(SaveTest)
#include "test_save.moc"
