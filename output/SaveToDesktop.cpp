#include "output/SaveToDesktop.h"

#include "app/Form.h"
#include "app/model/Button.h"
#include "controls/PicBox.h"
#include "output/AnimatedSave.h"
#include "output/DateTimeText.h"
#include "output/JpegEncoder.h"
#include "output/Snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace mugrove {

namespace {

SaveEnvironment RealEnvironment()
{
    return {
        [] { return QDateTime::currentDateTime(); },
        [] { return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation); },
    };
}

// More numbered names than anyone saves in one second; past it the save fails.
constexpr int kMaxNumberedNames = 9999;

QString NumberedName(const QString& name, int number)
{
    if (number == 1)
        return name;
    const QFileInfo info(name);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
    QString numbered = stem + QStringLiteral(" (%1)").arg(number);
    if (!suffix.isEmpty())
        numbered += u'.' + suffix;
    return numbered;
}

#ifdef Q_OS_UNIX
bool WriteFully(int fd, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A file in `folder` holding all of `bytes`, pushed to the disk so that a
// name given to it later never shows content still in flight. Empty path when
// any step fails; nothing is left behind then.
QByteArray WriteTemporary(const QString& folder, const QString& fileName,
                          std::span<const std::uint8_t> bytes)
{
    QByteArray path = QFile::encodeName(folder + QStringLiteral("/.") + fileName)
        + QByteArrayLiteral(".XXXXXX");
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return {};
    const bool ok = WriteFully(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok) {
        ::unlink(path.constData());
        return {};
    }
    return path;
}

enum class Publish { Done, Taken, Failed };

// Gives the temporary file its final name unless that name already exists;
// an existing file is never replaced, not even one made a moment ago.
Publish PublishAs(const QByteArray& temporary, const QByteArray& name)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, name.constData(),
                    RENAME_NOREPLACE) == 0)
        return Publish::Done;
    if (errno == EEXIST)
        return Publish::Taken;
    if (errno != EINVAL && errno != ENOSYS)
        return Publish::Failed;
#endif
    // File systems without the flag: a hard link also refuses a taken name.
    if (::link(temporary.constData(), name.constData()) == 0) {
        ::unlink(temporary.constData());
        return Publish::Done;
    }
    return errno == EEXIST ? Publish::Taken : Publish::Failed;
}
#endif

} // namespace

SaveEnvironment& SaveHooks()
{
    static SaveEnvironment environment = RealEnvironment();
    return environment;
}

void ResetSaveHooks()
{
    SaveHooks() = RealEnvironment();
}

QString GetDesktopFolder()
{
    const QString folder = SaveHooks().desktopFolder ? SaveHooks().desktopFolder() : QString();
    if (folder.isEmpty())
        return {};
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return {};
    return folder;
}

bool WriteBytesToFile(const QString& name, std::span<const std::uint8_t> bytes, QString* written)
{
    if (name.isEmpty())
        return false;
    const QFileInfo target(name);
#ifdef Q_OS_UNIX
    // The temporary file sits in the target's folder so that naming it is one
    // step on one file system.
    const QByteArray temporary = WriteTemporary(target.absolutePath(), target.fileName(), bytes);
    if (temporary.isEmpty())
        return false;
    for (int number = 1; number <= kMaxNumberedNames; ++number) {
        const QString candidate = NumberedName(name, number);
        switch (PublishAs(temporary, QFile::encodeName(candidate))) {
        case Publish::Done:
            if (written)
                *written = candidate;
            return true;
        case Publish::Taken:
            continue;
        case Publish::Failed:
            break;
        }
        break;
    }
    ::unlink(temporary.constData());
    return false;
#else
    // Elsewhere: whole or nothing, but the check for a taken name can race.
    for (int number = 1; number <= kMaxNumberedNames; ++number) {
        const QString candidate = NumberedName(name, number);
        if (QFileInfo::exists(candidate))
            continue;
        QSaveFile file(candidate);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        if (!file.commit())
            return false;
        if (written)
            *written = candidate;
        return true;
    }
    return false;
#endif
}

void OnSaveClicked(Form& form)
{
    // A save still writing an animation takes no second click.
    if (AnimatedSaveRunning(form))
        return;
    const QString folder = GetDesktopFolder();
    const QDateTime now = SaveHooks().now ? SaveHooks().now() : QDateTime::currentDateTime();
    const QString text = DateTimeToText(ToDateTimeValue(now));

    PicBox& box = *form.workArea;
    const PictureBytes snapshot = TakeSnapshot(&box.NativeWindow(), box.Width(), box.Height());
    const PictureBytes jpeg = EncodeSnapshotAsJpeg(snapshot);

    const bool saved = !folder.isEmpty() && !jpeg.empty()
        && WriteBytesToFile(folder + u'/' + text + QStringLiteral(".jpg"), jpeg);
    form.saveButton->SetCaption(saved ? QStringLiteral("保存成功!!") : QStringLiteral("保存失败!!"));
}

} // namespace mugrove
