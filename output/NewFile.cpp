#include "output/NewFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QTemporaryFile>
#endif

namespace mugrove {

namespace {

// More numbered names than anyone saves in one second; past it the publish fails.
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

// Where the kernel shows an open descriptor as a path: naming an unnamed file
// goes through it.
QByteArray DescriptorPath(int fd)
{
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
}

// The umask, read without changing it: setting it to read it back would
// give files other threads make meanwhile the wrong permissions.
mode_t CurrentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok)
                return static_cast<mode_t>(mask & 0777);
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// A file in `folder` that has no name at all. -1 where the file system
// refuses such files, or where it could not be given a name later.
int OpenUnnamed(const QByteArray& folder)
{
#ifdef O_TMPFILE
    // The kernel applies the umask to the mode, as for any new file.
    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (::access(DescriptorPath(fd).constData(), F_OK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
#else
    Q_UNUSED(folder);
    return -1;
#endif
}

// The fallback: a hidden file of a name of its own, renamed when published.
int OpenHidden(const QByteArray& folder, QByteArray* path)
{
    QByteArray name = folder + QByteArrayLiteral("/.mugrove-XXXXXX");
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    // mkostemp keeps it to its owner; it is to be an ordinary file.
    if (::fchmod(fd, 0666 & ~CurrentUmask()) != 0) {
        ::close(fd);
        ::unlink(name.constData());
        return -1;
    }
    *path = name;
    return fd;
}

enum class Naming { Done, Taken, Failed };

// Links the unnamed file in; a taken name is refused, never replaced.
Naming LinkUnnamed(int fd, const QByteArray& target)
{
    if (::linkat(AT_FDCWD, DescriptorPath(fd).constData(), AT_FDCWD, target.constData(),
                 AT_SYMLINK_FOLLOW)
        == 0)
        return Naming::Done;
    return errno == EEXIST ? Naming::Taken : Naming::Failed;
}

// Renames the hidden file unless the target name exists; an existing file is
// never replaced, not even one made a moment ago.
Naming RenameHidden(const QByteArray& hidden, const QByteArray& target)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, hidden.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE)
        == 0)
        return Naming::Done;
    if (errno == EEXIST)
        return Naming::Taken;
    if (errno != EINVAL && errno != ENOSYS)
        return Naming::Failed;
#endif
    // File systems without the flag: a hard link also refuses a taken name.
    if (::link(hidden.constData(), target.constData()) == 0) {
        ::unlink(hidden.constData());
        return Naming::Done;
    }
    return errno == EEXIST ? Naming::Taken : Naming::Failed;
}

// Makes the new name itself survive a crash. A file system that cannot sync
// a folder still holds the complete file, so this cannot fail the save.
void SyncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

#endif

} // namespace

#ifdef Q_OS_UNIX

struct NewFile::State {
    QString folder;
    QByteArray encodedFolder;
    int fd = -1;
    QByteArray hidden; // the fallback's name; empty for an unnamed file
    bool finished = false; // failed or published: nothing more goes in
    QString error;

    // Keeps the first failure's system text, then discards the content.
    void Fail(int code)
    {
        if (error.isEmpty())
            error = QString::fromLocal8Bit(std::strerror(code));
        Discard();
    }

    void Discard()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        if (!hidden.isEmpty())
            ::unlink(hidden.constData());
        hidden.clear();
        finished = true;
    }
};

NewFile::NewFile(const QString& folder) : state_(std::make_unique<State>())
{
    state_->folder = folder;
    state_->encodedFolder = QFile::encodeName(folder);
    state_->fd = OpenUnnamed(state_->encodedFolder);
    if (state_->fd < 0)
        state_->fd = OpenHidden(state_->encodedFolder, &state_->hidden);
    if (state_->fd < 0)
        state_->Fail(errno);
}

NewFile::~NewFile()
{
    if (state_)
        state_->Discard();
}

bool NewFile::IsOpen() const
{
    return state_ && state_->fd >= 0 && !state_->finished;
}

bool NewFile::Write(std::span<const std::uint8_t> bytes)
{
    if (!IsOpen())
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(state_->fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            state_->Fail(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

QString NewFile::Publish(const QString& fileName)
{
    if (!IsOpen())
        return {};
    State& s = *state_;
    // The content reaches the disk before any name points at it.
    if (fileName.isEmpty() || fileName.contains(u'/')) {
        s.Fail(EINVAL);
        return {};
    }
    if (::fsync(s.fd) != 0) {
        s.Fail(errno);
        return {};
    }
    for (int number = 1; number <= kMaxNumberedNames; ++number) {
        const QString candidate = NumberedName(fileName, number);
        const QByteArray target = s.encodedFolder + '/' + QFile::encodeName(candidate);
        const Naming naming =
            s.hidden.isEmpty() ? LinkUnnamed(s.fd, target) : RenameHidden(s.hidden, target);
        if (naming == Naming::Taken)
            continue;
        if (naming == Naming::Failed) {
            s.Fail(errno);
            return {};
        }
        s.hidden.clear(); // it has its name now: nothing to remove
        ::close(s.fd);    // the content is on the disk already
        s.fd = -1;
        s.finished = true;
        SyncFolder(s.encodedFolder);
        return s.folder + u'/' + candidate;
    }
    s.Fail(EEXIST); // every numbered name is taken
    return {};
}

#else

// Elsewhere: whole or nothing, but the check for a taken name can race.
struct NewFile::State {
    QString folder;
    std::unique_ptr<QTemporaryFile> file;
    bool finished = false; // failed or published: nothing more goes in
    QString error;

    void Fail(const QString& text)
    {
        if (error.isEmpty())
            error = text;
        Discard();
    }

    void Discard()
    {
        file.reset();
        finished = true;
    }
};

NewFile::NewFile(const QString& folder) : state_(std::make_unique<State>())
{
    state_->folder = folder;
    state_->file = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/.mugrove-XXXXXX"));
    if (!state_->file->open())
        state_->Fail(state_->file->errorString());
}

NewFile::~NewFile() = default;

bool NewFile::IsOpen() const
{
    return state_ && state_->file && !state_->finished;
}

bool NewFile::Write(std::span<const std::uint8_t> bytes)
{
    if (!IsOpen())
        return false;
    const auto size = static_cast<qint64>(bytes.size());
    if (state_->file->write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
        state_->Fail(state_->file->errorString());
        return false;
    }
    return true;
}

QString NewFile::Publish(const QString& fileName)
{
    if (!IsOpen())
        return {};
    State& s = *state_;
    if (fileName.isEmpty() || fileName.contains(u'/') || !s.file->flush()) {
        s.Fail(s.file->errorString());
        return {};
    }
    for (int number = 1; number <= kMaxNumberedNames; ++number) {
        const QString path = s.folder + u'/' + NumberedName(fileName, number);
        if (QFileInfo::exists(path))
            continue;
        if (!s.file->rename(path)) {
            s.Fail(s.file->errorString());
            return {};
        }
        s.file->setAutoRemove(false);
        s.file.reset();
        s.finished = true;
        return path;
    }
    s.Fail(QStringLiteral("every numbered name is taken"));
    return {};
}

#endif

QString NewFile::Error() const
{
    if (!state_)
        return {};
    return state_->error;
}

} // namespace mugrove
