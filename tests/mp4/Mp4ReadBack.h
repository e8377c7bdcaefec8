#pragma once

// An MP4 read back through libavformat and libavcodec, as any player reads
// it: its top-level boxes, its streams, every picture decoded to RGB with
// its time, and its sound decoded to mono floats.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace mugrove::test {

struct ReadPicture {
    double seconds = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb; // 0xFFRRGGBB, rows top first

    std::uint32_t At(int x, int y) const { return rgb[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

struct ReadMp4 {
    bool opened = false;
    std::vector<std::string> boxes; // top-level box types in file order
    std::string videoCodec, soundCodec; // empty when absent
    int streams = 0;
    int width = 0, height = 0;
    double seconds = 0; // the file's duration, as its movie header says
    double videoSeconds = 0, soundSeconds = 0; // each stream's
    std::vector<ReadPicture> pictures;
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> sound; // channels mixed, from the sound's start
    double soundStart = 0;    // seconds

    int BoxIndex(const std::string& type) const
    {
        const auto at = std::find(boxes.begin(), boxes.end(), type);
        return at == boxes.end() ? -1 : int(at - boxes.begin());
    }
};

namespace readback {

struct Memory {
    const std::vector<std::uint8_t>* bytes;
    std::int64_t at = 0;
    static int Read(void* o, std::uint8_t* to, int n)
    {
        auto& m = *static_cast<Memory*>(o);
        const auto left = std::int64_t(m.bytes->size()) - m.at;
        if (left <= 0)
            return AVERROR_EOF;
        const int k = int(std::min<std::int64_t>(n, left));
        std::memcpy(to, m.bytes->data() + m.at, std::size_t(k));
        m.at += k;
        return k;
    }
    static std::int64_t Seek(void* o, std::int64_t off, int whence)
    {
        auto& m = *static_cast<Memory*>(o);
        if (whence == AVSEEK_SIZE)
            return std::int64_t(m.bytes->size());
        m.at = (whence == SEEK_CUR ? m.at : whence == SEEK_END ? std::int64_t(m.bytes->size()) : 0) + off;
        return m.at;
    }
};

inline std::vector<std::string> TopBoxes(const std::vector<std::uint8_t>& b)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at + 8 <= b.size()) {
        std::uint64_t size = (std::uint64_t(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
        out.emplace_back(reinterpret_cast<const char*>(&b[at + 4]), 4);
        if (size == 1 && at + 16 <= b.size()) {
            size = 0;
            for (int i = 0; i < 8; ++i)
                size = (size << 8) | b[at + 8 + std::size_t(i)];
        }
        if (size < 8)
            break;
        at += size;
    }
    return out;
}

// The movie header's duration in seconds: what players show as the length.
inline double MovieSeconds(const std::vector<std::uint8_t>& b)
{
    const auto word = [&](std::size_t at) {
        return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
    };
    for (std::size_t at = 4; at + 32 <= b.size(); ++at) {
        if (std::memcmp(&b[at], "mvhd", 4) != 0)
            continue;
        if (b[at + 4] == 0)
            return double(word(at + 20)) / double(word(at + 16));
        std::uint64_t duration = (std::uint64_t(word(at + 28)) << 32) | word(at + 32);
        return double(duration) / double(word(at + 24));
    }
    return 0;
}

inline void TakePicture(ReadMp4& r, const AVFrame& f, AVRational base)
{
    ReadPicture p;
    p.width = f.width;
    p.height = f.height;
    p.seconds = double(f.best_effort_timestamp) * av_q2d(base);
    SwsContext* sws = sws_getContext(f.width, f.height, AVPixelFormat(f.format), f.width, f.height,
                                     AV_PIX_FMT_RGB32, SWS_POINT, nullptr, nullptr, nullptr);
    const int* table = sws_getCoefficients(f.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
    sws_setColorspaceDetails(sws, table, f.color_range == AVCOL_RANGE_JPEG, table, 1, 0, 1 << 16, 1 << 16);
    // libswscale writes whole vectors: rows padded to 64 bytes with room
    // after the last, then cut to the pixels.
    const int stride = (f.width * 4 + 63) / 64 * 64;
    std::vector<std::uint8_t> padded(std::size_t(stride) * std::size_t(f.height + 1));
    std::uint8_t* to[1] = {padded.data()};
    const int strides[1] = {stride};
    sws_scale(sws, f.data, f.linesize, 0, f.height, to, strides);
    sws_freeContext(sws);
    p.rgb.resize(std::size_t(f.width) * std::size_t(f.height));
    for (int y = 0; y < f.height; ++y)
        std::memcpy(&p.rgb[std::size_t(y) * std::size_t(f.width)], &padded[std::size_t(y) * std::size_t(stride)],
                    std::size_t(f.width) * 4);
    r.pictures.push_back(std::move(p));
}

inline void TakeSound(ReadMp4& r, const AVFrame& f, AVRational base)
{
    if (r.sound.empty())
        r.soundStart = double(f.best_effort_timestamp) * av_q2d(base);
    const int ch = f.ch_layout.nb_channels;
    for (int i = 0; i < f.nb_samples; ++i) {
        float sum = 0;
        for (int c = 0; c < ch; ++c)
            sum += f.format == AV_SAMPLE_FMT_FLTP ? reinterpret_cast<const float*>(f.extended_data[c])[i] : 0.0f;
        r.sound.push_back(sum / float(std::max(ch, 1)));
    }
}

} // namespace readback

inline ReadMp4 ReadBack(const std::vector<std::uint8_t>& bytes)
{
    ReadMp4 r;
    r.boxes = readback::TopBoxes(bytes);
    readback::Memory memory{&bytes};
    const int size = 1 << 16;
    AVIOContext* io = avio_alloc_context(static_cast<unsigned char*>(av_malloc(size)), size, 0, &memory,
                                         &readback::Memory::Read, nullptr, &readback::Memory::Seek);
    AVFormatContext* format = avformat_alloc_context();
    format->pb = io;
    if (avformat_open_input(&format, nullptr, nullptr, nullptr) < 0 || avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        av_freep(&io->buffer);
        avio_context_free(&io);
        return r;
    }
    r.opened = true;
    r.streams = int(format->nb_streams);
    r.seconds = readback::MovieSeconds(bytes);
    std::vector<AVCodecContext*> decoders(format->nb_streams, nullptr);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* s = format->streams[i];
        const AVCodecParameters* par = s->codecpar;
        const double length = s->duration > 0 ? double(s->duration) * av_q2d(s->time_base) : 0;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            r.videoCodec = avcodec_get_name(par->codec_id);
            r.width = par->width;
            r.height = par->height;
            r.videoSeconds = length;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            r.soundCodec = avcodec_get_name(par->codec_id);
            r.sampleRate = par->sample_rate;
            r.channels = par->ch_layout.nb_channels;
            r.soundSeconds = length;
        }
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        decoders[i] = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoders[i], par);
        decoders[i]->pkt_timebase = s->time_base;
        avcodec_open2(decoders[i], codec, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto drain = [&](unsigned i) {
        while (avcodec_receive_frame(decoders[i], frame) == 0) {
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
                readback::TakePicture(r, *frame, format->streams[i]->time_base);
            else
                readback::TakeSound(r, *frame, format->streams[i]->time_base);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        const auto i = unsigned(packet->stream_index);
        avcodec_send_packet(decoders[i], packet);
        av_packet_unref(packet);
        drain(i);
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        avcodec_send_packet(decoders[i], nullptr);
        drain(i);
        avcodec_free_context(&decoders[i]);
    }
    std::sort(r.pictures.begin(), r.pictures.end(),
              [](const ReadPicture& a, const ReadPicture& b) { return a.seconds < b.seconds; });
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    av_freep(&io->buffer);
    avio_context_free(&io);
    return r;
}

} // namespace mugrove::test
