// Pictures and clips decoded in decoder processes as the program sees them:
// a playing clip's process is locked down and holds no file of the disk;
// killing it keeps the last frame, refuses its saves and leaves decoding
// working.

#include "sandbox/Decode.h"
#include "sandbox/Sanitized.h"
#include "tests/support/StderrCapture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>

#include <unistd.h>

#include <unistd.h>

using namespace mugrove;

namespace {

QString Data(const char* name) { return QStringLiteral(MUGROVE_TEST_DATA "/") + QString::fromUtf8(name); }

std::shared_ptr<const PictureBytes> Load(const char* name)
{
    QFile file(Data(name));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    return std::make_shared<const PictureBytes>(bytes.begin(), bytes.end());
}

struct Child {
    pid_t pid = 0;
    QMap<QString, QString> status; // the fields of /proc/PID/status
    QStringList files;             // what its descriptors point at
};

// This process's children, as /proc tells them.
QList<Child> Children()
{
    QList<Child> children;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(QStringLiteral("/proc/self/task/%1/children").arg(task));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& pid : list.readAll().split(' ')) {
            if (pid.trimmed().isEmpty())
                continue;
            Child child;
            child.pid = pid.trimmed().toInt();
            QFile status(QStringLiteral("/proc/%1/status").arg(child.pid));
            if (status.open(QIODevice::ReadOnly))
                for (const QByteArray& line : status.readAll().split('\n'))
                    if (const int colon = line.indexOf(':'); colon > 0)
                        child.status[QString::fromUtf8(line.left(colon))] = QString::fromUtf8(line.mid(colon + 1).trimmed());
            const QString fds = QStringLiteral("/proc/%1/fd").arg(child.pid);
            for (const QString& fd : QDir(fds).entryList(QDir::System | QDir::Files)) {
                char target[512] = {};
                const ssize_t n = ::readlink(QFile::encodeName(fds + u'/' + fd).constData(), target, sizeof target - 1);
                child.files << QString::fromUtf8(target, n > 0 ? static_cast<int>(n) : 0);
            }
            children << child;
        }
    }
    return children;
}

// The undefined-behaviour checker of a sanitized build probes memory
// through a pipe of its own.
bool SanitizerPipe(const QString& file)
{
#if defined(MUGROVE_SANITIZED)
    return file.startsWith(QLatin1String("pipe:["));
#else
    (void)file;
    return false;
#endif
}

} // namespace

class TestRemoteDecoding : public QObject {
    Q_OBJECT

private slots:
    void aPlayingClipIsDecodedLockedDownAndItsDeathCostsNothing()
    {
        DecodedPicture clip;
        const std::string path = Data("clips/count_with_sound.mp4").toStdString();
        QCOMPARE(DecodeClip({path, nullptr}, clip), DecodeError::None);
        QVERIFY(clip.Animated());
        Animation& player = *clip.animation;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(player.Advance(), DecodeError::None);

        // The clip's process holds the clip's sealed copy, nothing of the
        // disk but /dev/null, and no network socket. (A process started
        // ahead for the next picture may still be loading its libraries.)
        QList<Child> playing;
        for (const Child& child : Children())
            if (child.files.contains(QStringLiteral("/memfd:mugrove-file (deleted)")))
                playing << child;
        QCOMPARE(playing.size(), 1);
        QCOMPARE(playing[0].status.value(QStringLiteral("Seccomp")), QStringLiteral("2"));
        QCOMPARE(playing[0].status.value(QStringLiteral("NoNewPrivs")), QStringLiteral("1"));
        for (const QString& file : playing[0].files)
            QVERIFY2(file == QLatin1String("/dev/null") || file.startsWith(QLatin1String("socket:[")) ||
                         file.startsWith(QLatin1String("/memfd:mugrove-")) || SanitizerPipe(file),
                     qPrintable(file));

        const QImage shown = QImage(reinterpret_cast<const uchar*>(player.Canvas().pixels.data()), player.Width(),
                                    player.Height(), QImage::Format_ARGB32)
                                 .copy();
        mugrove::testing::StderrCapture capture;
        QCOMPARE(::kill(playing[0].pid, SIGKILL), 0);
        // Frames made before the kill may still come; then play stops with the last frame on show.
        DecodeError e = DecodeError::None;
        QImage last = shown;
        for (int i = 0; i < 4 && e == DecodeError::None; ++i) {
            e = player.Advance();
            if (e == DecodeError::None)
                last = QImage(reinterpret_cast<const uchar*>(player.Canvas().pixels.data()), player.Width(),
                              player.Height(), QImage::Format_ARGB32)
                           .copy();
        }
        QCOMPARE(e, DecodeError::CorruptData);
        QCOMPARE(QImage(reinterpret_cast<const uchar*>(player.Canvas().pixels.data()), player.Width(),
                        player.Height(), QImage::Format_ARGB32),
                 last);
        QCOMPARE(player.Advance(), DecodeError::CorruptData);
        // Its saves fail: a GIF's player and an MP4's reader alike.
        QVERIFY(player.Clone() == nullptr);
        std::unique_ptr<ClipReader> reader;
        QVERIFY(OpenClipReader(clip.clip->source, clip.clip->segment, reader) != DecodeError::None);
        QCOMPARE(capture.Text(), QByteArray("mugrove: decoder stopped: killed from outside\n"));

        // Decoding goes on in new processes.
        DecodedPicture still;
        QCOMPARE(DecodePicture(Load("decoders/good_png_grey1.png"), still), DecodeError::None);
        QVERIFY(!still.image.Empty());
    }
};

QTEST_GUILESS_MAIN(TestRemoteDecoding)
#include "test_remote_decoding.moc"
