#pragma once

// The clip reader's own view of libav: owners for its objects, the one rule
// for a packet's time, and the container opened over a clip's source. Not
// for use outside controls/clips.

#include "controls/decoders/ClipSource.h"
#include "controls/decoders/Image.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>
#include <span>

namespace mugrove::clips {

struct CodecFree {
    void operator()(AVCodecContext* codec) const noexcept { avcodec_free_context(&codec); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
struct ScalerFree {
    void operator()(SwsContext* sws) const noexcept { sws_freeContext(sws); }
};
struct FormatClose {
    void operator()(AVFormatContext* format) const noexcept { avformat_close_input(&format); }
};
struct IoFree {
    void operator()(AVIOContext* io) const noexcept
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

// When a packet is to be shown: its presentation time, else its decoding
// time; AV_NOPTS_VALUE when it has neither.
inline std::int64_t PacketStamp(const AVPacket& packet)
{
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

// What libav's error code says, as ours: running out of memory is that,
// anything else is `otherwise`.
inline DecodeError FromLibav(int error, DecodeError otherwise)
{
    return error == AVERROR(ENOMEM) ? DecodeError::OutOfMemory : otherwise;
}

// Reads the source for the demuxer: no other file is ever opened.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int Read(std::uint8_t* to, int size) = 0;
    virtual std::int64_t Seek(std::int64_t offset, int whence) = 0;
};

// A clip's container opened over its source, its streams' headers read.
class ClipInput {
public:
    // CannotOpen when the file cannot be read, Unrecognised when its
    // leading bytes are not a clip's.
    DecodeError Open(const ClipSource& source);
    AVFormatContext& Format() const { return *format_; }

private:
    DecodeError OpenContainer(std::span<const std::uint8_t> head);

    // Declared in the order they depend on each other, so freed in reverse.
    std::unique_ptr<ByteSource> bytes_;
    std::unique_ptr<AVIOContext, IoFree> io_;
    std::unique_ptr<AVFormatContext, FormatClose> format_;
};

} // namespace mugrove::clips
