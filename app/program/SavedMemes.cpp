#include "app/program/SavedMemes.h"

#include "app/Form.h"
#include "app/document/MemeBytes.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMenu>
#include <QMutex>

namespace mugrove {

namespace {

QString ClipFileName(const ClipPicture& clip)
{
    return QFile::decodeName(QByteArray::fromStdString(clip.source.path));
}

// A clip's file is hashed again only when its size or time changed, so
// opening the menu over a saved clip's meme does not read a film each time.
// Saves record on threads of their own, hence the lock.
std::optional<QByteArray> ClipHash(const QString& path)
{
    struct Known {
        qint64 size;
        QDateTime modified;
        QByteArray hash;
    };
    static QMutex lock;
    static QHash<QString, Known> known;
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    const QDateTime modified = info.fileTime(QFileDevice::FileModificationTime);
    {
        const QMutexLocker locked(&lock);
        if (const auto it = known.constFind(path); it != known.constEnd() && it->size == info.size()
                                                    && it->modified == modified)
            return it->hash;
    }
    std::optional<QByteArray> hash = MemeStore::HashOfFile(path);
    if (hash) {
        const QMutexLocker locked(&lock);
        known.insert(path, {info.size(), modified, *hash});
    }
    return hash;
}

bool Fail(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

} // namespace

bool RecordSavedMeme(MemeStore& store, const Meme& meme, const QString& savedPath, QString* why)
{
    Meme recorded = meme;
    // The one picture whose bytes the store keeps: a dropped or pasted
    // picture, or a clip that came as bytes and has no file.
    std::shared_ptr<const PictureBytes> kept;
    if (const auto* own = std::get_if<OwnPicture>(&recorded.picture))
        kept = own->bytes;
    QStringList keys;
    if (auto* clip = std::get_if<ClipPicture>(&recorded.picture)) {
        if (clip->source.bytes) {
            kept = clip->source.bytes;
        } else {
            const std::optional<QByteArray> hash = ClipHash(ClipFileName(*clip));
            if (!hash)
                return Fail(why, ClipFileName(*clip) + QStringLiteral(": the clip cannot be read"));
            clip->hash = *hash;
        }
    }
    if (kept) {
        const std::optional<QString> key = store.KeepPicture(*kept, why);
        if (!key)
            return false;
        keys << *key;
    }
    const std::optional<QByteArray> saved = MemeStore::HashOfFile(savedPath);
    if (!saved)
        return Fail(why, savedPath + QStringLiteral(": the saved file cannot be read back"));
    const QByteArray payload = MemeToBytes(recorded, [&keys](const PictureBytes&) { return keys.value(0).toLatin1(); });
    return store.Record(*saved, payload, keys, why);
}

namespace {

// The meme recorded under `key` (a saved file's hash), as FindSavedMeme.
std::optional<Meme> FindSavedMemeByKey(const MemeStore& store, const QByteArray& key)
{
    const std::optional<QByteArray> payload = store.Find(key);
    if (!payload)
        return std::nullopt;
    Meme meme;
    const auto pictureFor = [&store](const QByteArray& pictureKey) -> std::shared_ptr<const PictureBytes> {
        std::optional<PictureBytes> bytes = store.Picture(QString::fromLatin1(pictureKey));
        return bytes ? std::make_shared<const PictureBytes>(std::move(*bytes)) : nullptr;
    };
    if (MemeFromBytes(*payload, pictureFor, meme) != MemeBytesError::None)
        return std::nullopt;
    // A clip is not kept: it must still be where it was, with the same bytes.
    if (const auto* clip = std::get_if<ClipPicture>(&meme.picture); clip && !clip->source.bytes) {
        const std::optional<QByteArray> hash = ClipHash(ClipFileName(*clip));
        if (!hash || *hash != clip->hash)
            return std::nullopt;
    }
    return meme;
}

} // namespace

std::optional<Meme> FindSavedMeme(const MemeStore& store, const PictureBytes& shown)
{
    if (shown.empty())
        return std::nullopt;
    return FindSavedMemeByKey(store, MemeStore::HashOf(QByteArrayView(shown.data(), qsizetype(shown.size()))));
}

std::optional<Meme> FindShownMeme(const Form& form)
{
    if (form.events == nullptr)
        return std::nullopt;
    // A saved MP4 opens as a clip, read from its file rather than held.
    if (const DecodedPicture* decoded = form.workArea->Decoded();
        decoded != nullptr && decoded->clip && !decoded->clip->source.bytes) {
        // Our MP4s are a minute at most; a film is not read whole to find out.
        constexpr qint64 kLargestSavedClip = 512ll << 20;
        const QString path = QFile::decodeName(QByteArray::fromStdString(decoded->clip->source.path));
        if (QFileInfo(path).size() > kLargestSavedClip)
            return std::nullopt;
        const std::optional<QByteArray> hash = ClipHash(path);
        return hash ? FindSavedMemeByKey(form.events->Store(), *hash) : std::nullopt;
    }
    const std::shared_ptr<const PictureBytes> shown = form.workArea->SharedPicture();
    return shown ? FindSavedMeme(form.events->Store(), *shown) : std::nullopt;
}

void ReEdit(Form& form, const Meme& meme)
{
    AsStep(form.history, {}, [&] { ApplyMeme(form, meme); });
}

void AddReEditEntry(QMenu& menu, Form& form)
{
    menu.addSeparator();
    QAction* action = menu.addAction(QStringLiteral("重新编辑(&E)"));
    std::optional<Meme> meme = FindShownMeme(form);
    action->setEnabled(meme.has_value());
    if (meme)
        QObject::connect(action, &QAction::triggered, form.workArea,
                         [&form, meme = std::move(*meme)] { ReEdit(form, meme); });
}

} // namespace mugrove
