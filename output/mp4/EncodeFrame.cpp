#include "EncodeFrame.h"

namespace mugrove::mp4 {

bool EncodeFrame(AVCodecContext& encoder, AVPacket& packet, const AVFrame* frame, const PacketSink& sink,
                 const char* name, std::string& failure)
{
    if (const int e = avcodec_send_frame(&encoder, frame); e < 0) {
        failure = std::string("the ") + name + " encoder failed: " + AvError(e);
        return false;
    }
    for (;;) {
        const int e = avcodec_receive_packet(&encoder, &packet);
        if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
            return true;
        if (e < 0) {
            failure = std::string("the ") + name + " encoder failed: " + AvError(e);
            return false;
        }
        const bool taken = sink(packet);
        av_packet_unref(&packet);
        if (!taken)
            return false;
    }
}

} // namespace mugrove::mp4
