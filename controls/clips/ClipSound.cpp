#include "ClipSound.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <cmath>

namespace mugrove::clips {

namespace {

// Beyond what any sound a clip carries needs; a header claiming more is refused.
constexpr int kMostChannels = 8;
constexpr int kHighestRate = 384000;

int DefaultSoundStream(AVFormatContext& format, int videoStream, const AVCodec*& decoder)
{
    int flagged = -1, audible = 0;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& st = *format.streams[i];
        if (st.codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        ++audible;
        if (flagged < 0 && (st.disposition & AV_DISPOSITION_DEFAULT) != 0)
            flagged = static_cast<int>(i);
    }
    // One sound stream, or several with one the default, is chosen as it
    // is; otherwise libav's choice, which prefers the video's companion.
    if (audible == 1 || flagged >= 0) {
        for (unsigned i = 0; flagged < 0 && i < format.nb_streams; ++i)
            if (format.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                flagged = static_cast<int>(i);
        decoder = avcodec_find_decoder(format.streams[flagged]->codecpar->codec_id);
        return flagged;
    }
    if (audible == 0)
        return AVERROR_STREAM_NOT_FOUND;
    return av_find_best_stream(&format, AVMEDIA_TYPE_AUDIO, -1, videoStream, &decoder, 0);
}

} // namespace

ClipSound::~ClipSound()
{
    av_channel_layout_uninit(&inLayout_);
}

bool ClipSound::Open(AVFormatContext& format, int videoStream, std::string& why)
{
    why.clear();
    const AVCodec* decoder = nullptr;
    const int chosen = DefaultSoundStream(format, videoStream, decoder);
    if (chosen == AVERROR_STREAM_NOT_FOUND)
        return false;
    if (chosen < 0 || decoder == nullptr) {
        why = "no decoder for its sound";
        return false;
    }
    AVStream& st = *format.streams[chosen];
    const AVCodecParameters& par = *st.codecpar;
    if (par.sample_rate < 1 || par.sample_rate > kHighestRate || par.ch_layout.nb_channels < 1 ||
        par.ch_layout.nb_channels > kMostChannels || st.time_base.num <= 0 || st.time_base.den <= 0) {
        why = "its sound's header makes no sense";
        return false;
    }
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_ || !frame_ || avcodec_parameters_to_context(codec_.get(), &par) < 0) {
        why = "no memory for its sound's decoder";
        return false;
    }
    codec_->thread_count = 1;
    if (avcodec_open2(codec_.get(), decoder, nullptr) < 0) {
        why = "its sound's decoder refused it";
        return false;
    }
    stream_ = chosen;
    rate_ = par.sample_rate;
    channels_ = par.ch_layout.nb_channels;
    timeBase_ = st.time_base;
    st.discard = AVDISCARD_DEFAULT;
    return true;
}

std::int64_t ClipSound::StampAt(double seconds) const
{
    return static_cast<std::int64_t>(std::floor(seconds / av_q2d(timeBase_)));
}

void ClipSound::Flush()
{
    avcodec_flush_buffers(codec_.get());
    nextSeconds_ = 0;
}

bool ClipSound::Send(const AVPacket* packet, const RunSink& sink)
{
    // A packet the decoder refuses is lost; the gap it leaves is silence.
    avcodec_send_packet(codec_.get(), packet);
    return Receive(sink);
}

bool ClipSound::Receive(const RunSink& sink)
{
    for (;;) {
        if (avcodec_receive_frame(codec_.get(), frame_.get()) < 0)
            return true; // it wants the next packet, or is drained
        const bool goOn = Convert(*frame_, sink);
        av_frame_unref(frame_.get());
        if (!goOn)
            return false;
    }
}

bool ClipSound::Convert(const AVFrame& frame, const RunSink& sink)
{
    if (frame.nb_samples <= 0 || frame.sample_rate <= 0 || frame.sample_rate > kHighestRate ||
        frame.ch_layout.nb_channels < 1 || frame.ch_layout.nb_channels > kMostChannels)
        return true;
    // Made anew when the frames change shape midway (rare; a joined file).
    if (!resampler_ || frame.sample_rate != inRate_ || frame.format != inFormat_ ||
        av_channel_layout_compare(&frame.ch_layout, &inLayout_) != 0) {
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, channels_);
        SwrContext* made = nullptr;
        // Only read, though this libav's header does not say so.
        auto* inLayout = const_cast<AVChannelLayout*>(&frame.ch_layout);
        const int e = swr_alloc_set_opts2(&made, &outLayout, AV_SAMPLE_FMT_FLT, rate_, inLayout,
                                          static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        resampler_.reset(made);
        if (e < 0 || swr_init(made) < 0) {
            resampler_.reset();
            return true;
        }
        inRate_ = frame.sample_rate;
        inFormat_ = frame.format;
        av_channel_layout_uninit(&inLayout_);
        av_channel_layout_copy(&inLayout_, &frame.ch_layout);
    }
    const int room = swr_get_out_samples(resampler_.get(), frame.nb_samples);
    if (room <= 0)
        return true;
    out_.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(channels_));
    auto* to = reinterpret_cast<std::uint8_t*>(out_.data());
    const int made = swr_convert(resampler_.get(), &to, room, const_cast<const std::uint8_t**>(frame.extended_data),
                                 frame.nb_samples);
    if (made <= 0)
        return true;
    const std::int64_t stamp = frame.best_effort_timestamp;
    const double seconds = stamp != AV_NOPTS_VALUE ? static_cast<double>(stamp) * av_q2d(timeBase_) : nextSeconds_;
    nextSeconds_ = seconds + static_cast<double>(made) / rate_;
    return sink(out_.data(), static_cast<std::size_t>(made), seconds);
}

} // namespace mugrove::clips
