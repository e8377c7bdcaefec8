#pragma once

#include <QImage>
#include <QMimeData>

namespace mugrove {

// A picture for the clipboard, offered as image/png before any other type:
// programs that take the first type they are offered get a PNG, not Qt's
// own serialisation. Qt's other image types (application/x-qt-image, then
// image/bmp and the rest the platform derives from it) follow.
class PictureMime : public QMimeData {
    Q_OBJECT
public:
    explicit PictureMime(const QImage& picture);

    QStringList formats() const override; // hasFormat asks it too

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    mutable QByteArray png_; // encoded on the first request only
};

} // namespace mugrove
