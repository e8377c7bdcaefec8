#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace mugrove {

// What one record file holds: the meme that made a saved file, as the
// document serialised it, keyed by that file's SHA-256, with the keys of the
// stored pictures it needs. Keys are 64 lowercase hex digits.
struct RecordContents {
    QByteArray savedFileHash;
    QStringList pictureKeys;
    QByteArray payload;
};

// The file's layout (numbers big-endian). The checksum covers every byte of
// the file but its own, so a record that was cut short, damaged, renamed to
// another key or written by another format is refused, never misread.
//
//   offset  size  field
//        0     8  magic "MGRVMEME"
//        8     4  format version (1)
//       12     4  number of picture keys n
//       16     8  payload length m
//       24    32  SHA-256 of the saved file
//       56    32  SHA-256 of bytes [0, 56) and [88, end)
//       88   32n  the pictures' SHA-256s
//   88+32n     m  payload
namespace record_file {

inline constexpr int kFormatVersion = 1;

// A record holds the meme's description, never a picture, so a file much
// larger is not one of ours and is not read into memory.
inline constexpr qint64 kMaxBytes = qint64(64) << 20;

// Null when a key is not 64 lowercase hex digits.
QByteArray Encode(const RecordContents& contents);

// Empty unless `file` is a whole, undamaged record of this format.
std::optional<RecordContents> Decode(QByteArrayView file);

} // namespace record_file

// True when `text` is 64 lowercase hex digits, the only form of a key, so a
// key read from a damaged record can never name a path outside the store.
bool IsStoreKey(QByteArrayView text);
bool IsStoreKey(QStringView text);

} // namespace mugrove
