#pragma once

#include "AvHandles.h"

#include <functional>
#include <string>

namespace mugrove::mp4 {

// Takes each packet an encoder gives; false stops the encoding.
using PacketSink = std::function<bool(AVPacket& packet)>;

// Sends `frame` (null to drain) to `encoder` and hands every packet it gives
// back to `sink`. False with `failure` set when the encoder fails ("the
// <name> encoder failed: ..."), or when the sink refuses a packet.
bool EncodeFrame(AVCodecContext& encoder, AVPacket& packet, const AVFrame* frame, const PacketSink& sink,
                 const char* name, std::string& failure);

} // namespace mugrove::mp4
