#pragma once

// Owners for the libav objects the encoder makes, so that every way out of
// a function frees them.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace mugrove::mp4 {

struct FreeCodecContext {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreeFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreePacket {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeScaler {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct FreeResampler {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FreeAudioFifo {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
// An output context whose byte context belongs to someone else.
struct FreeOutputContext {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
// A byte context made with avio_alloc_context, and its buffer.
struct FreeByteContext {
    void operator()(AVIOContext* c) const
    {
        if (c)
            av_freep(&c->buffer);
        avio_context_free(&c);
    }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, FreeCodecContext>;
using FramePtr = std::unique_ptr<AVFrame, FreeFrame>;
using PacketPtr = std::unique_ptr<AVPacket, FreePacket>;
using ScalerPtr = std::unique_ptr<SwsContext, FreeScaler>;
using ResamplerPtr = std::unique_ptr<SwrContext, FreeResampler>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, FreeAudioFifo>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, FreeOutputContext>;
using ByteContextPtr = std::unique_ptr<AVIOContext, FreeByteContext>;

// libav's words for an error code.
inline std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace mugrove::mp4
