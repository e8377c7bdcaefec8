#pragma once

#include "controls/decoders/PictureBytes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>

namespace mugrove {

// The program's own store of the memes it saved, so a saved file can be
// edited again: for each save a record (the meme as the document serialised
// it) under the SHA-256 of the saved file's bytes, and beside the records
// the dropped or pasted pictures they use, one copy of each, under the
// SHA-256 of its bytes. Keys are 64 lowercase hex digits.
//
//   <folder>/records/<saved file's hash>
//   <folder>/pictures/<picture's hash>
//
// Every file appears whole or not at all (written under a temporary name in
// its folder, then renamed), so windows and threads may record at once, each
// with a MemeStore of its own or one shared: it holds no state but its folder
// and cap. Nothing is created until something is written. What is read back
// is checked (a record's checksum, a picture's hash): damage is refused, never
// returned. Deleting the folder loses only what could be edited again.
class MemeStore {
public:
    static constexpr std::uint64_t kDefaultCap = std::uint64_t(1) << 30; // 1 GiB

    explicit MemeStore(QString folder = DefaultFolder());

    // $XDG_DATA_HOME/mugrove, or ~/.local/share/mugrove when that is unset.
    static QString DefaultFolder();
    const QString& Folder() const { return folder_; }

    // The SHA-256 of `bytes` as a key.
    static QByteArray HashOf(QByteArrayView bytes);
    // The SHA-256 of a file's bytes as a key, read a piece at a time; nothing
    // when it cannot be read whole.
    static std::optional<QByteArray> HashOfFile(const QString& path);

    // Keeps a copy of a picture's bytes (once however often it is kept) and
    // returns its key. Empty when it cannot be written; then `why` says why.
    std::optional<QString> KeepPicture(std::span<const std::uint8_t> bytes, QString* why = nullptr);

    // The picture kept under `key`, or nothing when there is none or its
    // bytes no longer have that hash.
    std::optional<PictureBytes> Picture(const QString& key) const;

    // Whether a picture is kept under `key`, without reading it.
    bool HasPicture(const QString& key) const;

    // Records `payload` for the saved file whose hash is `savedFileHash`,
    // replacing any record under that key, then trims the store to its cap.
    // Every key in `pictureKeys` must have been kept (KeepPicture) first;
    // keeping a picture when it comes in leaves a save only the hash of its
    // file and this to do. A picture kept long ago and used by no record may
    // have been trimmed since: Record then fails, and keeping it again
    // before recording again mends that. False when nothing was recorded;
    // then `why` says why.
    bool Record(const QByteArray& savedFileHash, const QByteArray& payload, const QStringList& pictureKeys,
                QString* why = nullptr);

    // The payload recorded for the saved file whose hash is `savedFileHash`;
    // nothing when there is no record, or it is damaged, cut short or of
    // another format.
    std::optional<QByteArray> Find(const QByteArray& savedFileHash) const;

    // The size the store keeps itself within after each record.
    std::uint64_t Cap() const { return cap_; }
    void SetCap(std::uint64_t bytes) { cap_ = bytes; }

    // Brings the store within `capBytes`: first pictures no record uses,
    // then the oldest records with the pictures only they used. The newest
    // record stays whatever its size.
    void Trim(std::uint64_t capBytes) const;

private:
    // Trim, never removing the record under `keptRecord` (the one just made).
    void TrimKeeping(std::uint64_t capBytes, const QString& keptRecord) const;
    QString RecordPath(QByteArrayView key) const;
    QString PicturePath(const QString& key) const;

    QString folder_;
    std::uint64_t cap_ = kDefaultCap;
};

} // namespace mugrove
