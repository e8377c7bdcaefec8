#include "Mp4Muxer.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/opt.h>
}

namespace mugrove::mp4 {

namespace {

bool AddStream(AVFormatContext& format, const AVCodecContext& codec)
{
    AVStream* stream = avformat_new_stream(&format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, &codec) < 0)
        return false;
    stream->time_base = codec.time_base;
    return true;
}

} // namespace

Mp4Muxer::~Mp4Muxer() = default;

std::unique_ptr<Mp4Muxer> Mp4Muxer::Open(const AVCodecContext& video, const AVCodecContext* sound,
                                         std::int64_t endPts, std::string& failure)
{
    std::unique_ptr<Mp4Muxer> m(new Mp4Muxer);
    m->endPts_ = endPts;
    AVFormatContext* format = nullptr;
    avformat_alloc_output_context2(&format, nullptr, "mp4", nullptr);
    m->format_.reset(format);
    if (!format || !m->file_.Writer()) {
        failure = "out of memory";
        return nullptr;
    }
    format->pb = m->file_.Writer();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->opaque = &m->file_;
    format->url = av_strdup("memory.mp4");
    MemoryFile::ServeReadsOf(*format);
    m->videoBase_ = video.time_base;
    if (!AddStream(*format, video) || (sound && !AddStream(*format, *sound)) || !format->url) {
        failure = "out of memory";
        return nullptr;
    }
    if (sound) {
        m->soundBase_ = sound->time_base;
        m->soundStream_ = 1;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int e = avformat_write_header(format, &options);
    av_dict_free(&options);
    if (e < 0) {
        failure = "the MP4 could not be started: " + AvError(e);
        return nullptr;
    }
    return m;
}

bool Mp4Muxer::Write(AVPacket& packet, int stream, AVRational from, std::string& failure)
{
    packet.stream_index = stream;
    av_packet_rescale_ts(&packet, from, format_->streams[stream]->time_base);
    if (const int e = av_interleaved_write_frame(format_.get(), &packet); e < 0) {
        failure = "the MP4 could not be written: " + AvError(e);
        return false;
    }
    return true;
}

namespace {

bool Keep(std::vector<PacketPtr>& into, const AVPacket& packet, std::string& failure)
{
    PacketPtr copy(av_packet_clone(&packet));
    if (!copy) {
        failure = "out of memory";
        return false;
    }
    try {
        into.push_back(std::move(copy));
    } catch (const std::bad_alloc&) {
        failure = "out of memory";
        return false;
    }
    return true;
}

} // namespace

bool Mp4Muxer::AddVideo(const AVPacket& packet, std::string& failure)
{
    return Keep(video_, packet, failure);
}

bool Mp4Muxer::AddSound(const AVPacket& packet, std::string& failure)
{
    return soundStream_ < 0 || Keep(sound_, packet, failure);
}

void Mp4Muxer::SettleVideoTimes()
{
    // The muxer makes the track last until the latest end of a picture (its
    // time plus its packet's length): no packet may reach past the end, and
    // the last one, in decoding order, reaches to it.
    const std::size_t n = video_.size();
    for (std::size_t i = 0; i < n; ++i) {
        AVPacket& p = *video_[i];
        const std::int64_t next = i + 1 < n ? video_[i + 1]->dts - p.dts : endPts_;
        p.duration = std::max<std::int64_t>(std::min(next, endPts_ - p.pts), 1);
    }
    // A reader also takes the track to last no longer than its packets'
    // lengths in decoding order add up to. With a variable frame rate the
    // last packet may show well after it is decoded, which would leave that
    // sum short of the end: the first packet is decoded earlier to make up.
    if (n > 0) {
        const AVPacket& last = *video_.back();
        AVPacket& first = *video_.front();
        first.dts = std::min(first.dts, last.dts + last.duration - (endPts_ - first.pts));
    }
}

bool Mp4Muxer::Finish(std::string& failure)
{
    SettleVideoTimes();
    std::size_t v = 0, s = 0;
    while (v < video_.size() || s < sound_.size()) {
        const bool videoNext = s == sound_.size() ||
                               (v < video_.size() &&
                                av_compare_ts(video_[v]->dts, videoBase_, sound_[s]->dts, soundBase_) <= 0);
        if (videoNext ? !Write(*video_[v++], 0, videoBase_, failure)
                      : !Write(*sound_[s++], soundStream_, soundBase_, failure))
            return false;
    }
    if (const int e = av_write_trailer(format_.get()); e < 0) {
        failure = "the MP4 could not be finished: " + AvError(e);
        return false;
    }
    return true;
}

} // namespace mugrove::mp4
