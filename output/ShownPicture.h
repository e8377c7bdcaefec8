#pragma once

#include <QImage>

namespace mugrove {

// A picture of 32-bit pixels (QImage's RGB32 words) whose rows may lie in two
// images: `base` holds every row except those from `bandTop` on that `band`
// holds. So a box that shows its own picture as it is can be read from that
// picture, with only the rows under what lies over it drawn anew.
class ShownPicture {
public:
    ShownPicture() = default;
    // Any other format is converted once.
    explicit ShownPicture(QImage whole) : base_(ThirtyTwoBit(std::move(whole))) {}
    // `band` has `base`'s width and lies within its rows.
    ShownPicture(QImage base, QImage band, int bandTop)
        : base_(std::move(base)), band_(std::move(band)), bandTop_(bandTop)
    {
    }

    bool IsNull() const { return base_.isNull(); }
    int Width() const { return base_.width(); }
    int Height() const { return base_.height(); }
    const QRgb* Row(int y) const
    {
        const int inBand = y - bandTop_;
        const QImage& from = inBand >= 0 && inBand < band_.height() ? band_ : base_;
        return reinterpret_cast<const QRgb*>(from.constScanLine(&from == &band_ ? inBand : y));
    }

private:
    static QImage ThirtyTwoBit(QImage image)
    {
        if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32)
            return image;
        return image.convertToFormat(QImage::Format_RGB32);
    }

    QImage base_;
    QImage band_;
    int bandTop_ = 0;
};

} // namespace mugrove
