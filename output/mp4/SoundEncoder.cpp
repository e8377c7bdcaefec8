#include "SoundEncoder.h"

#include <algorithm>
#include <vector>

namespace mugrove::mp4 {

int AacSampleRate(int rate)
{
    static constexpr int kRates[] = {7350, 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000};
    for (const int r : kRates)
        if (r >= rate)
            return r;
    return 48000;
}

SoundEncoder::~SoundEncoder() = default;

std::unique_ptr<SoundEncoder> SoundEncoder::Open(SoundFormat format, int kbps, std::int64_t totalFrames,
                                                 std::string& failure)
{
    if (format.sampleRate < 1 || format.channels < 1 || format.channels > AV_NUM_DATA_POINTERS) {
        failure = "the sound's format makes no sense";
        return nullptr;
    }
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        failure = "this system's libavcodec has no AAC encoder";
        return nullptr;
    }
    std::unique_ptr<SoundEncoder> e(new SoundEncoder);
    e->context_.reset(avcodec_alloc_context3(codec));
    e->frame_.reset(av_frame_alloc());
    e->packet_.reset(av_packet_alloc());
    if (!e->context_ || !e->frame_ || !e->packet_) {
        failure = "out of memory";
        return nullptr;
    }
    AVCodecContext& c = *e->context_;
    c.sample_fmt = AV_SAMPLE_FMT_FLTP;
    c.sample_rate = AacSampleRate(format.sampleRate);
    av_channel_layout_default(&c.ch_layout, std::min(format.channels, 2));
    c.bit_rate = static_cast<std::int64_t>(kbps) * 1000;
    c.time_base = {1, c.sample_rate};
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int r = avcodec_open2(&c, codec, nullptr); r < 0) {
        failure = "the AAC encoder did not start: " + AvError(r);
        return nullptr;
    }

    AVChannelLayout in{};
    av_channel_layout_default(&in, format.channels);
    SwrContext* resampler = nullptr;
    const int made = swr_alloc_set_opts2(&resampler, &c.ch_layout, AV_SAMPLE_FMT_FLTP, c.sample_rate, &in,
                                         AV_SAMPLE_FMT_FLT, format.sampleRate, 0, nullptr);
    av_channel_layout_uninit(&in);
    e->resampler_.reset(resampler);
    if (made < 0 || swr_init(resampler) < 0) {
        failure = "the sound could not be converted for the AAC encoder";
        return nullptr;
    }
    e->fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, c.ch_layout.nb_channels, c.frame_size * 4));
    if (!e->fifo_) {
        failure = "out of memory";
        return nullptr;
    }
    e->inChannels_ = format.channels;
    e->wanted_ = av_rescale_rnd(totalFrames, c.sample_rate, format.sampleRate, AV_ROUND_NEAR_INF);
    return e;
}

bool SoundEncoder::Resample(const float* samples, int frames, std::string& failure)
{
    AVCodecContext& c = *context_;
    const int room = swr_get_out_samples(resampler_.get(), frames);
    if (room < 0) {
        failure = "the sound could not be converted";
        return false;
    }
    if (room == 0)
        return true;
    std::vector<float> planes(static_cast<std::size_t>(room) * static_cast<std::size_t>(c.ch_layout.nb_channels));
    std::vector<std::uint8_t*> to(static_cast<std::size_t>(c.ch_layout.nb_channels));
    for (std::size_t ch = 0; ch < to.size(); ++ch)
        to[ch] = reinterpret_cast<std::uint8_t*>(planes.data() + ch * static_cast<std::size_t>(room));
    const auto* from = reinterpret_cast<const std::uint8_t*>(samples);
    const int made = swr_convert(resampler_.get(), to.data(), room, samples ? &from : nullptr, frames);
    if (made < 0) {
        failure = "the sound could not be converted";
        return false;
    }
    // Never more than the whole sound's length: the resampler's rounding
    // must not make the sound outlast the pictures.
    const int kept = static_cast<int>(std::min<std::int64_t>(made, wanted_ - queued_));
    if (kept > 0) {
        if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(to.data()), kept) < kept) {
            failure = "out of memory";
            return false;
        }
        queued_ += kept;
    }
    return true;
}

bool SoundEncoder::Add(const float* samples, std::size_t frames, const PacketSink& sink, std::string& failure)
{
    // In slices, so the conversion's buffer stays small.
    constexpr std::size_t kSlice = 8192;
    for (std::size_t done = 0; done < frames; done += kSlice) {
        const auto n = static_cast<int>(std::min(kSlice, frames - done));
        if (!Resample(samples + done * static_cast<std::size_t>(inChannels_), n, failure) ||
            !EncodeFull(sink, false, failure))
            return false;
    }
    return true;
}

bool SoundEncoder::Finish(const PacketSink& sink, std::string& failure)
{
    // What the resampler still holds, then silence for what it came short of.
    if (!Resample(nullptr, 0, failure))
        return false;
    if (queued_ < wanted_) {
        const int missing = static_cast<int>(wanted_ - queued_);
        std::vector<float> silence(static_cast<std::size_t>(missing), 0.0f);
        std::vector<void*> planes(static_cast<std::size_t>(context_->ch_layout.nb_channels), silence.data());
        if (av_audio_fifo_write(fifo_.get(), planes.data(), missing) < missing) {
            failure = "out of memory";
            return false;
        }
        queued_ = wanted_;
    }
    return EncodeFull(sink, true, failure) && Send(nullptr, sink, failure);
}

bool SoundEncoder::EncodeFull(const PacketSink& sink, bool all, std::string& failure)
{
    AVCodecContext& c = *context_;
    for (;;) {
        const int size = std::min(av_audio_fifo_size(fifo_.get()), c.frame_size);
        if (size == 0 || (size < c.frame_size && !all))
            return true;
        av_frame_unref(frame_.get());
        frame_->nb_samples = size;
        frame_->format = c.sample_fmt;
        frame_->sample_rate = c.sample_rate;
        if (av_channel_layout_copy(&frame_->ch_layout, &c.ch_layout) < 0 || av_frame_get_buffer(frame_.get(), 0) < 0) {
            failure = "out of memory";
            return false;
        }
        if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), size) < size) {
            failure = "the sound could not be converted";
            return false;
        }
        frame_->pts = sent_;
        sent_ += size;
        if (!Send(frame_.get(), sink, failure))
            return false;
    }
}

bool SoundEncoder::Send(const AVFrame* frame, const PacketSink& sink, std::string& failure)
{
    return EncodeFrame(*context_, *packet_, frame, sink, "AAC", failure);
}

} // namespace mugrove::mp4
