#include "app/store/RecordFile.h"

#include "app/store/Sha256.h"

#include <QtEndian>

#include <cstdint>
#include <cstring>

namespace mugrove {

namespace {

constexpr char kMagic[8] = {'M', 'G', 'R', 'V', 'M', 'E', 'M', 'E'};
constexpr qsizetype kDigest = 32;
constexpr qsizetype kChecksumAt = 56;
constexpr qsizetype kHeader = kChecksumAt + kDigest;

template <typename T>
T ReadBig(QByteArrayView bytes, qsizetype at)
{
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return qFromBigEndian(value);
}

template <typename T>
void PutBig(QByteArray& bytes, qsizetype at, T value)
{
    value = qToBigEndian(value);
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

QByteArray Checksum(QByteArrayView file)
{
    Sha256 hash;
    hash.Add(file.first(kChecksumAt));
    hash.Add(file.sliced(kHeader));
    return hash.Result();
}

template <typename Text>
bool IsKey(Text text)
{
    if (text.size() != 2 * kDigest)
        return false;
    for (const auto c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

} // namespace

bool IsStoreKey(QByteArrayView text)
{
    return IsKey(text);
}

bool IsStoreKey(QStringView text)
{
    return IsKey(text);
}

namespace record_file {

QByteArray Encode(const RecordContents& contents)
{
    if (!IsStoreKey(contents.savedFileHash))
        return {};
    for (const QString& key : contents.pictureKeys)
        if (!IsStoreKey(key))
            return {};

    QByteArray file(kHeader, '\0');
    std::memcpy(file.data(), kMagic, sizeof kMagic);
    PutBig<std::uint32_t>(file, 8, kFormatVersion);
    PutBig<std::uint32_t>(file, 12, std::uint32_t(contents.pictureKeys.size()));
    PutBig<std::uint64_t>(file, 16, std::uint64_t(contents.payload.size()));
    const QByteArray saved = QByteArray::fromHex(contents.savedFileHash);
    std::memcpy(file.data() + 24, saved.data(), kDigest);
    for (const QString& key : contents.pictureKeys)
        file += QByteArray::fromHex(key.toLatin1());
    file += contents.payload;
    const QByteArray sum = Checksum(file);
    std::memcpy(file.data() + kChecksumAt, sum.data(), kDigest);
    return file;
}

std::optional<RecordContents> Decode(QByteArrayView file)
{
    if (file.size() < kHeader || std::memcmp(file.data(), kMagic, sizeof kMagic) != 0
        || ReadBig<std::uint32_t>(file, 8) != std::uint32_t(kFormatVersion))
        return std::nullopt;
    // The lengths must account for the file exactly; compared in 64 bits so
    // no count a damaged header claims can overflow.
    const std::uint64_t keys = ReadBig<std::uint32_t>(file, 12);
    const std::uint64_t payload = ReadBig<std::uint64_t>(file, 16);
    const std::uint64_t rest = std::uint64_t(file.size() - kHeader);
    if (keys * kDigest > rest || payload != rest - keys * kDigest)
        return std::nullopt;
    if (Checksum(file) != file.sliced(kChecksumAt, kDigest))
        return std::nullopt;

    RecordContents contents;
    contents.savedFileHash = file.sliced(24, kDigest).toByteArray().toHex();
    qsizetype at = kHeader;
    for (std::uint64_t i = 0; i < keys; ++i, at += kDigest)
        contents.pictureKeys.append(QString::fromLatin1(file.sliced(at, kDigest).toByteArray().toHex()));
    contents.payload = file.sliced(at).toByteArray();
    return contents;
}

} // namespace record_file

} // namespace mugrove
