#include "app/store/MemeStore.h"

#include "app/store/RecordFile.h"
#include "app/store/Sha256.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace mugrove {

namespace {

// No picture file larger than this is read when dropped, so none is kept
// and none is read back.
constexpr qint64 kMaxPictureBytes = qint64(256) << 20;

const QString kNoFolder = QStringLiteral("no folder is known for the store");

bool Fail(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

bool MakeFolder(const QString& folder, QString* why)
{
    errno = 0;
    if (QDir().mkpath(folder) && QFileInfo(folder).isDir())
        return true;
    return Fail(why, folder + QStringLiteral(": ")
                         + (errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("not a folder")));
}

// Writes `bytes` as `path` so that the file is whole or absent, even when
// another thread or process writes the same path at the same moment.
bool WriteWhole(const QString& path, QByteArrayView bytes, QString* why)
{
    if (!MakeFolder(QFileInfo(path).path(), why))
        return false;
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes.data(), bytes.size()) == bytes.size() && file.commit())
        return true;
    return Fail(why, path + QStringLiteral(": ") + file.errorString());
}

// Whether `file` holds exactly `bytes`, read a piece at a time.
bool SameBytes(QFile& file, std::span<const std::uint8_t> bytes)
{
    if (file.size() != qint64(bytes.size()))
        return false;
    constexpr qint64 kPiece = qint64(1) << 20;
    QByteArray piece(kPiece, Qt::Uninitialized);
    for (std::size_t at = 0; at < bytes.size();) {
        const qint64 wanted = std::min<qint64>(kPiece, qint64(bytes.size() - at));
        if (file.read(piece.data(), wanted) != wanted || std::memcmp(piece.data(), bytes.data() + at, wanted) != 0)
            return false;
        at += std::size_t(wanted);
    }
    return true;
}

} // namespace

MemeStore::MemeStore(QString folder) : folder_(std::move(folder)) {}

QString MemeStore::DefaultFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/mugrove");
}

QByteArray MemeStore::HashOf(QByteArrayView bytes)
{
    return Sha256::Of(bytes).toHex();
}

std::optional<QByteArray> MemeStore::HashOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    constexpr qint64 kPiece = qint64(1) << 20;
    QByteArray piece(kPiece, Qt::Uninitialized);
    Sha256 hash;
    qint64 total = 0;
    for (qint64 got; (got = file.read(piece.data(), kPiece)) > 0; total += got)
        hash.Add(QByteArrayView(piece.data(), got));
    // A read error, or a file that changed length while it was read.
    if (file.error() != QFileDevice::NoError || total != file.size())
        return std::nullopt;
    return hash.Result().toHex();
}

QString MemeStore::RecordPath(QByteArrayView key) const
{
    return folder_ + QStringLiteral("/records/") + QString::fromLatin1(key);
}

QString MemeStore::PicturePath(const QString& key) const
{
    return folder_ + QStringLiteral("/pictures/") + key;
}

std::optional<QString> MemeStore::KeepPicture(std::span<const std::uint8_t> bytes, QString* why)
{
    if (folder_.isEmpty() || bytes.size() > std::size_t(kMaxPictureBytes)) {
        Fail(why, folder_.isEmpty() ? kNoFolder : QStringLiteral("the picture is too large to keep"));
        return std::nullopt;
    }
    const QString key = QString::fromLatin1(HashOf(QByteArrayView(bytes.data(), qsizetype(bytes.size()))));
    const QString path = PicturePath(key);
    // Kept already: only made young again, so that a trim running in another
    // window before this one's record takes it does not count it as unused.
    QFile kept(path);
    if (kept.open(QIODevice::ReadOnly) && SameBytes(kept, bytes)) {
        kept.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
        return key;
    }
    kept.close();
    if (!WriteWhole(path, QByteArrayView(bytes.data(), qsizetype(bytes.size())), why))
        return std::nullopt;
    return key;
}

std::optional<PictureBytes> MemeStore::Picture(const QString& key) const
{
    if (folder_.isEmpty() || !IsStoreKey(key))
        return std::nullopt;
    QFile file(PicturePath(key));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPictureBytes)
        return std::nullopt;
    PictureBytes bytes;
    try {
        bytes.resize(std::size_t(file.size()));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (file.read(reinterpret_cast<char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
        return std::nullopt;
    if (HashOf(QByteArrayView(bytes.data(), qsizetype(bytes.size()))) != key.toLatin1())
        return std::nullopt;
    return bytes;
}

bool MemeStore::HasPicture(const QString& key) const
{
    return !folder_.isEmpty() && IsStoreKey(key) && QFileInfo(PicturePath(key)).isFile();
}

bool MemeStore::Record(const QByteArray& savedFileHash, const QByteArray& payload, const QStringList& pictureKeys,
                       QString* why)
{
    if (folder_.isEmpty())
        return Fail(why, kNoFolder);
    if (!IsStoreKey(savedFileHash))
        return Fail(why, QStringLiteral("the saved file's hash is not a SHA-256 key"));
    // Each picture is made young again, so that a trim in another window
    // does not take it for unused before this record names it.
    for (const QString& key : pictureKeys) {
        QFile picture(IsStoreKey(key) ? PicturePath(key) : QString());
        if (!picture.open(QIODevice::ReadOnly)
            || !picture.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime))
            return Fail(why, QStringLiteral("the picture %1 is not in the store").arg(key));
    }
    const QByteArray file = record_file::Encode({savedFileHash, pictureKeys, payload});
    if (file.size() > record_file::kMaxBytes)
        return Fail(why, QStringLiteral("the meme's description is too large to record"));
    if (!WriteWhole(RecordPath(savedFileHash), file, why))
        return false;
    TrimKeeping(cap_, QString::fromLatin1(savedFileHash));
    return true;
}

std::optional<QByteArray> MemeStore::Find(const QByteArray& savedFileHash) const
{
    if (folder_.isEmpty() || !IsStoreKey(savedFileHash))
        return std::nullopt;
    QFile file(RecordPath(savedFileHash));
    if (!file.open(QIODevice::ReadOnly) || file.size() > record_file::kMaxBytes)
        return std::nullopt;
    std::optional<RecordContents> contents = record_file::Decode(file.readAll());
    // A record copied or renamed under another file's key is not that file's.
    if (!contents || contents->savedFileHash != savedFileHash)
        return std::nullopt;
    return std::move(contents->payload);
}

} // namespace mugrove
