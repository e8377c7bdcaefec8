#pragma once

#include "AvHandles.h"
#include "MemoryFile.h"

#include <string>
#include <vector>

namespace mugrove::mp4 {

// An MP4 file in memory with a video stream and, when there is sound, an
// audio stream; the index (moov) goes in front of the data, so a player
// can start before the whole file is there.
class Mp4Muxer {
public:
    // `sound` may be null. The encoders must be open. The last picture
    // shows until `endPts` (in the video encoder's units).
    static std::unique_ptr<Mp4Muxer> Open(const AVCodecContext& video, const AVCodecContext* sound,
                                          std::int64_t endPts, std::string& failure);
    ~Mp4Muxer();

    // Packets as the encoders give them, times in the encoders' units. They
    // are kept until the end, when the video's times are known whole.
    bool AddVideo(const AVPacket& packet, std::string& failure);
    bool AddSound(const AVPacket& packet, std::string& failure);
    // Writes the packets interleaved by time, then the index in front.
    bool Finish(std::string& failure);

    std::vector<std::uint8_t> TakeBytes() { return file_.TakeBytes(); }

private:
    Mp4Muxer() = default;
    void SettleVideoTimes();
    bool Write(AVPacket& packet, int stream, AVRational from, std::string& failure);

    MemoryFile file_;
    OutputContextPtr format_;
    AVRational videoBase_{}, soundBase_{};
    int soundStream_ = -1;
    std::int64_t endPts_ = 0;
    std::vector<PacketPtr> video_, sound_;
};

} // namespace mugrove::mp4
