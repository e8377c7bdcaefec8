// Saving to the desktop: the date-time names, the JPEG written, and the ways
// a save can fail without losing or half-writing anything.
#include "tests/support/ShownForm.h"
#include "tests/support/StderrCapture.h"

#include "app/model/Button.h"
#include "controls/PicBox.h"
#include "BmpRead.h"
#include "output/BmpLayout.h"
#include "output/DateTimeText.h"
#include "output/NewFile.h"
#include "output/Clipboard.h"
#include "output/SaveToDesktop.h"
#include "output/Snapshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csetjmp>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
#include <cstddef>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/syscall.h>
#define MUGROVE_CAN_REFUSE_UNNAMED_FILES 1
#endif

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

// The snapshot's BMP rows, bottom row last, through libjpeg with the save's
// settings (quality 95, every channel at full resolution, baseline).
QByteArray EncodeBmpRows(const Bmp24View& bmp)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(bmp.width);
    info.image_height = JDIMENSION(bmp.height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    for (int c = 0; c < info.num_components; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const std::size_t fromBottom = std::size_t(bmp.height - 1) - info.next_scanline;
        JSAMPROW row = const_cast<JSAMPROW>(bmp.bottomRow + fromBottom * bmp.stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray jpeg(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return jpeg;
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

std::span<const std::uint8_t> Bytes(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), size_t(data.size())};
}

// Whether the file system of `folder` makes files without a name.
bool TakesUnnamedFiles(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// The permission bits of a file, -1 when it is not there.
int ModeOf(const QString& name)
{
    struct stat info {};
    if (::stat(QFile::encodeName(name).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

// Sets the umask for one scope.
struct Umask {
    explicit Umask(mode_t mask) : before(::umask(mask)) {}
    ~Umask() { ::umask(before); }
    mode_t before;
};

void Say(int out, const QByteArray& text)
{
    [[maybe_unused]] const ssize_t n = ::write(out, text.constData(), size_t(text.size()));
}

// Runs `job` in a child process and returns what it wrote to the descriptor
// it is given, also when it dies half-way. The child is stopped after ten
// seconds, so a stuck one fails the case instead of hanging it.
QByteArray InChild(const std::function<void(int out)>& job)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(10);
        ::close(ends[0]);
        job(ends[1]);
        ::_exit(0);
    }
    ::close(ends[1]);
    QByteArray said;
    char buffer[256];
    for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    ::close(ends[0]);
    if (pid > 0)
        ::waitpid(pid, nullptr, 0);
    return said;
}

#ifdef MUGROVE_CAN_REFUSE_UNNAMED_FILES
// From now on this process's file system refuses unnamed files the way
// file systems without them do: open with O_TMPFILE fails with EOPNOTSUPP.
bool RefuseUnnamedFiles()
{
#if defined(__x86_64__)
    constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#else
    constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#endif
    constexpr unsigned kUnnamed = O_TMPFILE & ~O_DIRECTORY;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])), // flags, low word
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kUnnamed, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}
#endif

} // namespace

class SaveTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home_;
    QString desktop_;
    QDateTime clock_;

    // The clock and desktop of this test, read at each save.
    SaveEnvironment Environment()
    {
        return {[this] { return clock_; }, [this] { return desktop_; }};
    }

private slots:
    void init()
    {
        desktop_ = home_.filePath(QStringLiteral("desk%1/桌面").arg(std::rand()));
        clock_ = QDateTime(QDate(2026, 12, 8), QTime(5, 39, 33));
    }

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
        auto form = ShowForm(Environment());
        QVERIFY(form);
        form->captionOverlay->SetCaption(QStringLiteral("保存这段文字 Save"));
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QCOMPARE(FilesIn(desktop_), QStringList{QStringLiteral("2026年12月8日5时39分33秒.jpg")});

        const QByteArray file = ReadAll(desktop_ + QStringLiteral("/2026年12月8日5时39分33秒.jpg"));
        const Decoded saved = DecodeJpeg(file);
        QVERIFY(!saved.image.isNull());
        QVERIFY(!saved.progressive);
        QVERIFY(saved.fullChroma);
        QWidget& box = Box(*form);
        const PictureBytes snapshot = TakeSnapshot(&box, box.width(), box.height());
        // The file is exactly the snapshot's pixels through the encoder, even
        // though the save does not pack them into a BMP on its way.
        const std::optional<Bmp24View> rows = ReadBmp24(snapshot);
        QVERIFY(rows);
        QVERIFY(EncodeBmpRows(*rows) == file);
        const QImage shot = *DecodeToImage(snapshot);
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
        auto form = ShowForm(Environment());
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
        auto form = ShowForm(Environment());
        QVERIFY(form);
        QFile blocker(home_.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        desktop_ = blocker.fileName() + QStringLiteral("/Desktop");
        QCOMPARE(GetDesktopFolder(Environment()), QString());
        StderrCapture stderrText;
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        // One line says what failed and, in the system's words, why.
        QCOMPARE(stderrText.Text(), "mugrove: save failed: " + QFile::encodeName(desktop_) + ": "
                                        + std::strerror(ENOTDIR) + "\n");

        desktop_.clear(); // no desktop known at all: nothing goes to the root
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QVERIFY(!QFile::exists(QStringLiteral("/2026年12月8日5时39分33秒.jpg")));
    }

    void a_write_that_runs_out_of_room_leaves_no_file()
    {
        auto form = ShowForm(Environment());
        QVERIFY(form);
        QVERIFY(!GetDesktopFolder(Environment()).isEmpty());
        rlimit before{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = before;
        tight.rlim_cur = 1000; // far less than any picture
        QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
        StderrCapture stderrText;
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        const QByteArray line = stderrText.Text();
        QVERIFY2(line.startsWith("mugrove: save failed: ") && line.endsWith(QByteArray(std::strerror(EFBIG)) + '\n')
                     && line.count('\n') == 1, line.constData());
        QCOMPARE(FilesIn(desktop_), QStringList{});

        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
    }

    void an_empty_snapshot_is_a_failed_save()
    {
        auto form = ShowForm(Environment());
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
        QString error;
        QVERIFY(!WriteBytesToFile(desktop_ + QStringLiteral("/missing/x.jpg"), bytes, nullptr, &error));
        QCOMPARE(error, desktop_ + QStringLiteral("/missing/x.jpg: ") + QString::fromLocal8Bit(std::strerror(ENOENT)));
        QCOMPARE(FilesIn(desktop_).size(), 2);
    }

    void saved_files_get_the_permissions_of_any_new_file()
    {
        QVERIFY(QDir().mkpath(desktop_));
        const std::uint8_t bytes[] = {0xFF, 0xD8, 0xFF};
        for (const auto& [mask, mode] : {std::pair{027, "640"}, {002, "664"}}) {
            const Umask set(static_cast<mode_t>(mask));
            QString used;
            QVERIFY(WriteBytesToFile(desktop_ + QStringLiteral("/mode.jpg"), bytes, &used));
            QCOMPARE(QString::number(ModeOf(used), 8), QString::fromLatin1(mode));
        }
        auto form = ShowForm(Environment());
        QVERIFY(form);
        const Umask usual(022);
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(QString::number(ModeOf(desktop_ + QStringLiteral("/2026年12月8日5时39分33秒.jpg")), 8),
                 QStringLiteral("644"));
    }

    void a_new_file_is_written_in_pieces_and_shows_only_when_published()
    {
        QVERIFY(QDir().mkpath(desktop_));
        NewFile file(desktop_);
        QByteArray expected;
        for (int piece = 0; piece < 40; ++piece) {
            const QByteArray part(4000 + piece, char('a' + piece % 26));
            QVERIFY(file.Write(Bytes(part)));
            expected += part;
        }
        if (TakesUnnamedFiles(desktop_))
            QCOMPARE(FilesIn(desktop_), QStringList{}); // not even a hidden file
        QCOMPARE(file.Publish(QStringLiteral("动图.gif")), desktop_ + QStringLiteral("/动图.gif"));
        QVERIFY(!file.Write(Bytes("late")));
        QCOMPARE(ReadAll(desktop_ + QStringLiteral("/动图.gif")), expected);

        NewFile second(desktop_);
        QVERIFY(second.Write(Bytes("second")));
        QCOMPARE(second.Publish(QStringLiteral("动图.gif")), desktop_ + QStringLiteral("/动图 (2).gif"));
        QVERIFY(NewFile(desktop_).Write(Bytes("never published")));
        QCOMPARE(NewFile(desktop_).Publish(QStringLiteral("sub/x.gif")), QString());
        QCOMPARE(FilesIn(desktop_), (QStringList{QStringLiteral("动图 (2).gif"), QStringLiteral("动图.gif")}));
        QVERIFY(!NewFile(desktop_ + QStringLiteral("/missing")).Write(Bytes("x")));
    }

    void a_save_cut_short_by_a_crash_leaves_nothing_behind()
    {
        QVERIFY(QDir().mkpath(desktop_));
        if (!TakesUnnamedFiles(desktop_))
            QSKIP("this file system makes no unnamed files");
        const QByteArray said = InChild([&](int out) {
            auto* file = new NewFile(desktop_);
            const QByteArray half(100000, 'x');
            Say(out, file->Write(Bytes(half)) ? "written" : "not written");
            ::kill(::getpid(), SIGKILL);
        });
        QCOMPARE(said, QByteArray("written"));
        QCOMPARE(FilesIn(desktop_), QStringList{});
    }

    void where_unnamed_files_are_refused_a_hidden_one_stands_in()
    {
#ifndef MUGROVE_CAN_REFUSE_UNNAMED_FILES
        QSKIP("no seccomp filter for this system");
#else
        QVERIFY(QDir().mkpath(desktop_));
        const QByteArray said = InChild([&](int out) {
            if (!RefuseUnnamedFiles() || TakesUnnamedFiles(desktop_)) {
                Say(out, "cannot refuse unnamed files");
                return;
            }
            ::umask(027);
            {
                NewFile file(desktop_);
                file.Write(Bytes("abc"));
                Say(out, QByteArray::number(FilesIn(desktop_).size()) + " while written, ");
                const QString used = file.Publish(QStringLiteral("p.jpg"));
                Say(out, QFileInfo(used).fileName().toUtf8() + ' '
                             + QByteArray::number(ModeOf(used), 8) + ' ' + ReadAll(used) + ", ");
            }
            {
                NewFile dropped(desktop_);
                dropped.Write(Bytes("dropped"));
            }
            Say(out, FilesIn(desktop_).join(u',').toUtf8());
        });
        QCOMPARE(said, QByteArray("1 while written, p.jpg 640 abc, p.jpg"));
#endif
    }
};

QTEST_MAIN(SaveTest)
#include "test_save.moc"
