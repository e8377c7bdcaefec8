#include "PictureConverter.h"

#include <cstring>

namespace mugrove::mp4 {

PictureConverter::PictureConverter(int fromWidth, int fromHeight, int toWidth, int toHeight)
    : fromWidth_(fromWidth), fromHeight_(fromHeight), toWidth_(toWidth), toHeight_(toHeight)
{
}

std::unique_ptr<PictureConverter> PictureConverter::Make(int fromWidth, int fromHeight, int toWidth, int toHeight,
                                                         std::string& failure)
{
    if (fromWidth < 1 || fromHeight < 1 || toWidth < 1 || toHeight < 1) {
        failure = "the picture has no pixels";
        return nullptr;
    }
    std::unique_ptr<PictureConverter> c(new PictureConverter(fromWidth, fromHeight, toWidth, toHeight));
    // Bicubic chroma brings back the colour a decoder's 4:2:0 frame had
    // more closely than finer filters do, measured on decoded clips; area
    // averaging when shrinking keeps fine detail from turning into moiré.
    const bool scaled = toWidth != fromWidth || toHeight != fromHeight;
    const int flags = scaled ? SWS_AREA : SWS_BICUBIC;
    c->scaler_.reset(sws_getContext(fromWidth, fromHeight, AV_PIX_FMT_RGB32, toWidth, toHeight, AV_PIX_FMT_YUV420P,
                                    flags, nullptr, nullptr, nullptr));
    c->frame_.reset(av_frame_alloc());
    if (!c->scaler_ || !c->frame_) {
        failure = "out of memory";
        return nullptr;
    }
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(c->scaler_.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    AVFrame& f = *c->frame_;
    f.format = AV_PIX_FMT_YUV420P;
    f.width = c->FrameWidth();
    f.height = c->FrameHeight();
    f.color_range = AVCOL_RANGE_MPEG;
    f.colorspace = AVCOL_SPC_BT709;
    f.color_primaries = AVCOL_PRI_BT709;
    f.color_trc = AVCOL_TRC_BT709;
    if (av_frame_get_buffer(&f, 0) < 0) {
        failure = "out of memory";
        return nullptr;
    }
    return c;
}

AVFrame* PictureConverter::Convert(const Picture& picture, std::int64_t pts)
{
    if (picture.width != fromWidth_ || picture.height != fromHeight_ || !picture.pixels)
        return nullptr;
    // The encoder may still hold the last frame's buffers.
    if (av_frame_make_writable(frame_.get()) < 0)
        return nullptr;
    const auto* source = reinterpret_cast<const std::uint8_t*>(picture.pixels);
    const int sourceStride = static_cast<int>(picture.stride);
    sws_scale(scaler_.get(), &source, &sourceStride, 0, fromHeight_, frame_->data, frame_->linesize);
    RepeatEdges();
    frame_->pts = pts;
    return frame_.get();
}

void PictureConverter::RepeatEdges()
{
    AVFrame& f = *frame_;
    // The chroma planes already cover an odd edge: their sizes round up.
    if (toWidth_ & 1)
        for (int y = 0; y < toHeight_; ++y) {
            std::uint8_t* row = f.data[0] + static_cast<std::ptrdiff_t>(y) * f.linesize[0];
            row[toWidth_] = row[toWidth_ - 1];
        }
    if (toHeight_ & 1) {
        const std::uint8_t* last = f.data[0] + static_cast<std::ptrdiff_t>(toHeight_ - 1) * f.linesize[0];
        std::memcpy(f.data[0] + static_cast<std::ptrdiff_t>(toHeight_) * f.linesize[0], last,
                    static_cast<std::size_t>(FrameWidth()));
    }
}

} // namespace mugrove::mp4
