#include "templates/PastePicture.h"

#include "app/model/DropTarget.h"
#include "templates/PhotoDrop.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QWidget>

#include <array>

namespace mugrove {

namespace {

// Encoded forms a program may offer, best first: lossless and with alpha
// before the others.
constexpr std::array kPreferredTypes = {"image/png", "image/webp", "image/gif", "image/bmp",
                                        "image/jpeg", "image/x-icon", "image/vnd.microsoft.icon"};

QStringList PictureTypes(const QMimeData& data)
{
    QStringList types;
    const QStringList offered = data.formats();
    for (const char* type : kPreferredTypes)
        if (offered.contains(QLatin1String(type)))
            types << QLatin1String(type);
    for (const QString& type : offered)
        if (type.startsWith(QLatin1String("image/")) && !types.contains(type))
            types << type;
    return types;
}

PictureBytes Bytes(const QByteArray& array)
{
    return PictureBytes(array.begin(), array.end());
}

// A picture the clipboard holds only as pixels (put there by this process),
// kept as PNG bytes so the work area's Picture is a file like any other.
PictureBytes EncodeClipboardImage(const QMimeData& data)
{
    const QImage image = qvariant_cast<QImage>(data.imageData());
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return Bytes(png);
}

} // namespace

bool OffersPicture(const QMimeData* data)
{
    if (data == nullptr)
        return false;
    return !DropTarget::LocalFiles(*data).isEmpty() || data->hasImage() || !PictureTypes(*data).isEmpty();
}

bool PastePicture(Form& form, const QMimeData* data)
{
    if (data == nullptr)
        return false;
    const QStringList files = DropTarget::LocalFiles(*data);
    if (!files.isEmpty())
        return ShowFirstPicture(form, files);
    for (const QString& type : PictureTypes(*data))
        if (ShowPictureBytes(form, Bytes(data->data(type))))
            return true;
    return data->hasImage() && ShowPictureBytes(form, EncodeClipboardImage(*data));
}

void OnPicturePasted(Form& form)
{
    PastePicture(form, QGuiApplication::clipboard()->mimeData());
}

} // namespace mugrove
