#include "output/PictureMime.h"

#include <QBuffer>

namespace mugrove {

namespace {

const QString kPng = QStringLiteral("image/png");

} // namespace

PictureMime::PictureMime(const QImage& picture)
{
    setImageData(picture);
}

QStringList PictureMime::formats() const
{
    QStringList types = QMimeData::formats();
    types.removeAll(kPng);
    types.prepend(kPng);
    return types;
}

QVariant PictureMime::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != kPng)
        return QMimeData::retrieveData(mimeType, type);
    // Most pastes never ask for it, and a big picture takes a while to encode.
    if (png_.isEmpty()) {
        QBuffer buffer(&png_);
        buffer.open(QIODevice::WriteOnly);
        qvariant_cast<QImage>(imageData()).save(&buffer, "PNG");
    }
    return png_;
}

} // namespace mugrove
