// Keeping the store within its cap.
#include "app/store/MemeStore.h"

#include "app/store/RecordFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <vector>

namespace mugrove {

namespace {

// A picture is kept before the record that uses it is written, perhaps in
// another window while this one trims; one this young may be about to be
// used. The same goes for a temporary file that may still be being written.
constexpr qint64 kYoungSeconds = 60 * 60;

struct StoredFile {
    QFileInfo info;
    QDateTime modified;
    QStringList uses; // a record's pictures
};

std::vector<StoredFile> FilesIn(const QString& folder)
{
    std::vector<StoredFile> files;
    const QFileInfoList infos = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo& info : infos)
        files.push_back({info, info.fileTime(QFileDevice::FileModificationTime), {}});
    // Oldest first; the name decides between equal times, so every window
    // trims in the same order.
    std::sort(files.begin(), files.end(), [](const StoredFile& a, const StoredFile& b) {
        return a.modified != b.modified ? a.modified < b.modified : a.info.fileName() < b.info.fileName();
    });
    return files;
}

QStringList PicturesUsedBy(const QFileInfo& record)
{
    QFile file(record.filePath());
    if (record.size() > record_file::kMaxBytes || !file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<RecordContents> contents = record_file::Decode(file.readAll());
    return contents ? contents->pictureKeys : QStringList();
}

} // namespace

void MemeStore::Trim(std::uint64_t capBytes) const
{
    TrimKeeping(capBytes, QString());
}

void MemeStore::TrimKeeping(std::uint64_t capBytes, const QString& keptRecord) const
{
    if (folder_.isEmpty())
        return;
    std::vector<StoredFile> records = FilesIn(folder_ + QStringLiteral("/records"));
    std::vector<StoredFile> pictures = FilesIn(folder_ + QStringLiteral("/pictures"));

    std::uint64_t total = 0;
    for (const StoredFile& file : records)
        total += std::uint64_t(file.info.size());
    for (const StoredFile& file : pictures)
        total += std::uint64_t(file.info.size());
    if (total <= capBytes)
        return;

    QHash<QString, int> users;
    for (StoredFile& record : records)
        if (IsStoreKey(record.info.fileName())) {
            record.uses = PicturesUsedBy(record.info);
            for (const QString& key : record.uses)
                ++users[key];
        }

    const QDateTime young = QDateTime::currentDateTimeUtc().addSecs(-kYoungSeconds);
    // Gone counts as removed: another window may be trimming too.
    const auto remove = [&total](const StoredFile& file) {
        if (QFile::remove(file.info.filePath()) || !QFileInfo::exists(file.info.filePath()))
            total -= std::min(total, std::uint64_t(file.info.size()));
    };
    // Its time is read again: a record may have just made it young.
    const auto unused = [&](const StoredFile& file) {
        const QString name = file.info.fileName();
        return (!IsStoreKey(name) || users.value(name) == 0)
               && QFileInfo(file.info.filePath()).fileTime(QFileDevice::FileModificationTime) < young;
    };

    // What no record uses (left-over temporary files among it) goes first:
    // losing it loses nothing that can be edited again.
    for (const StoredFile& file : pictures)
        if (total > capBytes && unused(file))
            remove(file);
    for (const StoredFile& file : records)
        if (total > capBytes && !IsStoreKey(file.info.fileName()) && file.modified < young)
            remove(file);

    // Then the oldest records, each with the pictures only it used.
    QString newest;
    for (const StoredFile& record : records)
        if (IsStoreKey(record.info.fileName()))
            newest = record.info.fileName();
    for (const StoredFile& record : records) {
        const QString name = record.info.fileName();
        if (total <= capBytes)
            break;
        if (!IsStoreKey(name) || name == newest || name == keptRecord)
            continue;
        remove(record);
        for (const QString& key : record.uses)
            --users[key];
        for (const StoredFile& picture : pictures)
            if (record.uses.contains(picture.info.fileName()) && unused(picture))
                remove(picture);
    }
}

} // namespace mugrove
