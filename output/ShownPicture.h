#pragma once

#include <QImage>

namespace mugrove {

// A picture of 32-bit pixels (QImage's RGB32 words) whose rows may lie in two
// images: a base, and a band of rows from `bandTop` on that replaces the
// base's there. The base is a whole picture, or one row that every row
// repeats. So a box that shows its own picture as it is (or one colour) is
// read from that, with only the rows under what lies over it drawn anew.
class ShownPicture {
public:
    ShownPicture() = default;
    // `whole` is RGB32 (or ARGB32, whose alpha is not read).
    explicit ShownPicture(QImage whole) : base_(std::move(whole)), height_(base_.height())
    {
        Q_ASSERT(base_.isNull() || base_.depth() == 32);
    }

    // `row` (one pixel high) as every row of a picture `height` rows high.
    static ShownPicture RepeatedRow(QImage row, int height)
    {
        ShownPicture picture(std::move(row));
        picture.repeated_ = true;
        picture.height_ = height;
        return picture;
    }

    // The same with rows bandTop.. taken from `band`, which has this
    // picture's width and lies within its rows.
    ShownPicture WithBand(QImage band, int bandTop) const
    {
        ShownPicture picture = *this;
        Q_ASSERT(band.depth() == 32 && band.width() == Width());
        picture.band_ = std::move(band);
        picture.bandTop_ = bandTop;
        return picture;
    }

    bool IsNull() const { return base_.isNull(); }
    int Width() const { return base_.width(); }
    int Height() const { return height_; }
    const QRgb* Row(int y) const
    {
        const int inBand = y - bandTop_;
        if (inBand >= 0 && inBand < band_.height())
            return reinterpret_cast<const QRgb*>(band_.constScanLine(inBand));
        return reinterpret_cast<const QRgb*>(base_.constScanLine(repeated_ ? 0 : y));
    }

private:
    QImage base_;
    QImage band_;
    int bandTop_ = 0;
    int height_ = 0;
    bool repeated_ = false;
};

} // namespace mugrove
