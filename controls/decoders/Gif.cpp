#include "controls/decoders/Gif.h"

#include "controls/decoders/ByteReader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mugrove {

namespace {

// Steps over a chain of data sub-blocks. False when the file ends inside it.
bool SkipSubBlocks(ByteReader& r)
{
    for (;;) {
        std::uint8_t size = 0;
        if (!r.U8(size))
            return false;
        if (size == 0)
            return true;
        if (!r.Skip(size))
            return false;
    }
}

// The graphic control fields waiting for the next image.
struct GraphicControl {
    int disposal = 0;
    int delay = 0; // hundredths of a second
    int transparent = -1;
};

// One extension block, after its introducer: a graphic control block fills
// `control`, the looping block sets `loopCount`; the others are passed over.
DecodeError ReadExtension(ByteReader& r, std::span<const std::uint8_t> data, GraphicControl& control,
                          int& loopCount)
{
    std::uint8_t label = 0, size = 0;
    std::span<const std::uint8_t> first;
    // The first sub-block carries the fields we read; the rest of the chain
    // is passed over.
    if (!r.U8(label) || !r.U8(size) || !r.Bytes(size, first))
        return DecodeError::TruncatedInput;
    const std::size_t second = r.Pos();
    if (size != 0 && !SkipSubBlocks(r))
        return DecodeError::TruncatedInput;
    if (label == 0xF9 && first.size() >= 4) {
        control.disposal = (first[0] >> 2) & 7;
        control.delay = LoadU16(first.data() + 1);
        control.transparent = (first[0] & 1) ? first[3] : -1;
    } else if (label == 0xFF && first.size() == 11 && std::memcmp(first.data(), "NETSCAPE2.0", 11) == 0
               && second + 4 <= data.size() && data[second] >= 3 && data[second + 1] == 1) {
        // The repeat count after the first showing; 0 for ever.
        const int repeats = LoadU16(data.data() + second + 2);
        loopCount = repeats == 0 ? 0 : repeats + 1;
    }
    return DecodeError::None;
}

// One image descriptor, after its introducer, with its palette and data
// passed over: where they lie goes into `f`, with the waiting `control`.
DecodeError ReadImage(ByteReader& r, const GifIndex& screen, std::size_t globalPalette, int globalColours,
                      const GraphicControl& control, GifFrameInfo& f)
{
    std::uint16_t left = 0, top = 0, fw = 0, fh = 0;
    std::uint8_t fflags = 0, minCodeSize = 0;
    if (!r.U16(left) || !r.U16(top) || !r.U16(fw) || !r.U16(fh) || !r.U8(fflags))
        return DecodeError::TruncatedInput;
    f.left = left;
    f.top = top;
    f.width = fw;
    f.height = fh;
    f.interlaced = (fflags & 0x40) != 0;
    f.palette = globalPalette;
    f.paletteColours = globalColours;
    if (fflags & 0x80) {
        f.palette = r.Pos();
        f.paletteColours = 2 << (fflags & 7);
        if (!r.Skip(3 * static_cast<std::size_t>(f.paletteColours)))
            return DecodeError::TruncatedInput;
    }
    if (!r.U8(minCodeSize))
        return DecodeError::TruncatedInput;
    f.data = r.Pos();
    if (!SkipSubBlocks(r))
        return DecodeError::TruncatedInput;
    // Indices are bytes, so codes start at 2..9 bits; anything larger (up to
    // the 12-bit maximum and beyond) is not a GIF.
    if (minCodeSize < 1 || minCodeSize > 8)
        return DecodeError::CorruptData;
    f.minCodeSize = minCodeSize;
    const int width = screen.width, height = screen.height;
    f.clipWidth = std::max(0, std::min<int>(fw, width - std::min<int>(left, width)));
    f.clipHeight = std::max(0, std::min<int>(fh, height - std::min<int>(top, height)));
    f.transparentIndex = control.transparent;
    f.disposal = control.disposal;
    f.delayMs = control.delay == 0 ? 50 : control.delay * 10;
    return DecodeError::None;
}

} // namespace

// A truncated file keeps the frames completed before the data ran out; the
// frame that was cut is dropped, and with no complete frame there is no
// picture. An unknown block ends the picture in the same way.
DecodeError IndexGif(std::span<const std::uint8_t> data, GifIndex& out)
{
    out = {};
    ByteReader r(data);
    std::span<const std::uint8_t> signature;
    if (!r.Bytes(6, signature))
        return DecodeError::TruncatedInput;
    if (std::memcmp(signature.data(), "GIF87a", 6) != 0 && std::memcmp(signature.data(), "GIF89a", 6) != 0)
        return DecodeError::BadHeader;
    std::uint16_t width = 0, height = 0;
    std::uint8_t flags = 0, background = 0, aspect = 0;
    if (!r.U16(width) || !r.U16(height) || !r.U8(flags) || !r.U8(background) || !r.U8(aspect))
        return DecodeError::TruncatedInput;
    // Showing it takes three screens of 32-bit pixels (the still first
    // frame, the player's canvas and the area saved for disposal) and one of
    // colour indices, counted with the index against the memory cap.
    constexpr std::uint64_t kBytesPerScreenPixel = 13;
    if (const DecodeError e = CheckDimensions(width, height, kBytesPerScreenPixel); e != DecodeError::None)
        return e;
    std::uint64_t budget = static_cast<std::uint64_t>(width) * height * kBytesPerScreenPixel;

    GifIndex index;
    index.width = width;
    index.height = height;
    std::size_t globalPalette = 0;
    int globalColours = 0;
    if (flags & 0x80) {
        globalPalette = r.Pos();
        globalColours = 2 << (flags & 7);
        if (!r.Skip(3 * static_cast<std::size_t>(globalColours)))
            return DecodeError::TruncatedInput;
    }

    GraphicControl control;
    DecodeError stop = DecodeError::None;
    for (;;) {
        std::uint8_t block = 0;
        if (!r.U8(block)) {
            stop = DecodeError::TruncatedInput;
            break;
        }
        if (block == 0x3B) // trailer
            break;
        if (block == 0x21) {
            stop = ReadExtension(r, data, control, index.loopCount);
        } else if (block == 0x2C) {
            GifFrameInfo f;
            stop = ReadImage(r, index, globalPalette, globalColours, control, f);
            if (stop != DecodeError::None)
                break;
            budget += sizeof(GifFrameInfo);
            if (budget > kMaxDecodedBytes)
                return DecodeError::TooLarge;
            const std::size_t clip = static_cast<std::size_t>(f.clipWidth) * static_cast<std::size_t>(f.clipHeight);
            index.largestClip = std::max(index.largestClip, clip);
            if (f.disposal == 2 || f.disposal == 3)
                index.largestSavedClip = std::max(index.largestSavedClip, clip);
            index.frames.push_back(f);
            control = {}; // a control block applies to the next image only
        } else {
            stop = DecodeError::CorruptData;
        }
        if (stop != DecodeError::None)
            break;
    }
    if (index.frames.empty())
        return stop == DecodeError::None ? DecodeError::BadHeader : stop;
    out = std::move(index);
    return DecodeError::None;
}

GifPlayer::GifPlayer(std::shared_ptr<const PictureBytes> bytes, std::shared_ptr<const GifIndex> index)
    : bytes_(std::move(bytes)), index_(std::move(index))
{
}

DecodeError GifPlayer::Allocate()
{
    if (!canvas_.Empty())
        return DecodeError::None;
    if (const DecodeError e = AllocateImage(canvas_, index_->width, index_->height, kTransparent);
        e != DecodeError::None)
        return e;
    try {
        saved_.resize(index_->largestSavedClip);
        indices_.resize(index_->largestClip);
        drawn_.reserve(index_->frames.size());
    } catch (const std::bad_alloc&) {
        canvas_ = {};
        saved_ = {};
        indices_ = {};
        drawn_ = {};
        return DecodeError::OutOfMemory; // within the caps, but not available now
    }
    return DecodeError::None;
}

void GifPlayer::Reset()
{
    started_ = false;
    restorePending_ = false;
    current_ = 0;
}

const Image& GifPlayer::Canvas() const
{
    static const Image kNothing;
    return started_ ? canvas_ : kNothing;
}

std::unique_ptr<Animation> GifPlayer::Clone() const
{
    return std::make_unique<GifPlayer>(bytes_, index_);
}

DecodeError GifPlayer::Advance()
{
    const std::vector<GifFrameInfo>& frames = index_->frames;
    if (frames.empty())
        return DecodeError::BadHeader;
    if (const DecodeError e = Allocate(); e != DecodeError::None)
        return e;
    const std::size_t next = !started_ || current_ + 1 >= frames.size() ? 0 : current_ + 1;
    const GifFrameInfo& frame = frames[next];
    // Decoded aside first, so a damaged frame leaves the canvas as it was.
    const DecodeError e = DecodeGifFrame(*bytes_, frame, indices_.data(), decodedPixels_);
    if (e != DecodeError::None && next != 0)
        return e;
    if (next == 0) {
        for (const Area& a : drawn_)
            for (int y = 0; y < a.height; ++y)
                std::fill_n(canvas_.Row(a.top + y) + a.left, a.width, kTransparent);
        drawn_.clear();
        restorePending_ = false;
    } else if (restorePending_) {
        RestoreArea();
    }
    started_ = true;
    current_ = next;
    restorePending_ = frame.disposal == 2 || frame.disposal == 3;
    if (restorePending_)
        SaveArea(frame);
    Draw(frame);
    // Each frame of one loop is counted once, within the reserved room.
    if (frame.clipWidth > 0 && frame.clipHeight > 0)
        drawn_.push_back({frame.left, frame.top, frame.clipWidth, frame.clipHeight});
    return DecodeError::None;
}

void GifPlayer::SaveArea(const GifFrameInfo& f)
{
    savedLeft_ = f.left;
    savedTop_ = f.top;
    savedWidth_ = f.clipWidth;
    savedHeight_ = f.clipWidth == 0 ? 0 : f.clipHeight; // a frame that shows nothing saves nothing
    for (int y = 0; y < savedHeight_; ++y)
        std::memcpy(saved_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(savedWidth_),
                    canvas_.Row(savedTop_ + y) + savedLeft_,
                    static_cast<std::size_t>(savedWidth_) * sizeof(std::uint32_t));
}

void GifPlayer::RestoreArea()
{
    for (int y = 0; y < savedHeight_; ++y)
        std::memcpy(canvas_.Row(savedTop_ + y) + savedLeft_,
                    saved_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(savedWidth_),
                    static_cast<std::size_t>(savedWidth_) * sizeof(std::uint32_t));
    restorePending_ = false;
}

void GifPlayer::Draw(const GifFrameInfo& f)
{
    // Colours the table does not hold are black.
    palette_.fill(kOpaqueBlack);
    const PictureBytes& data = *bytes_;
    if (f.palette != 0)
        for (int i = 0; i < f.paletteColours && i < 256; ++i) {
            const std::uint8_t* p = data.data() + f.palette + 3 * static_cast<std::size_t>(i);
            palette_[static_cast<std::size_t>(i)] = Argb(255, p[0], p[1], p[2]);
        }
    const std::uint64_t fw = static_cast<std::uint64_t>(f.width);
    for (int y = 0; y < f.clipHeight; ++y) {
        // Pixels the stream never delivered leave the canvas as it is.
        const std::uint64_t start = GifStreamRow(y, f.height, f.interlaced) * fw;
        if (start >= decodedPixels_)
            continue;
        const int count = static_cast<int>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(f.clipWidth), decodedPixels_ - start));
        const std::uint8_t* src =
            indices_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(f.clipWidth);
        std::uint32_t* dst = canvas_.Row(f.top + y) + f.left;
        const int transparent = f.transparentIndex;
        for (int x = 0; x < count; ++x)
            if (src[x] != transparent)
                dst[x] = palette_[src[x]];
    }
}

DecodeError DecodeGif(const std::shared_ptr<const PictureBytes>& bytes, Image& still,
                      std::unique_ptr<Animation>& player)
{
    still = {};
    player.reset();
    auto index = std::make_shared<GifIndex>();
    if (const DecodeError e = IndexGif(*bytes, *index); e != DecodeError::None)
        return e;
    auto gif = std::make_unique<GifPlayer>(bytes, index);
    if (const DecodeError e = gif->Advance(); e != DecodeError::None)
        return e;
    // A single frame is the whole picture: its canvas is taken, not copied.
    if (index->frames.size() == 1) {
        still = gif->TakeCanvas();
        return DecodeError::None;
    }
    still = gif->Canvas();
    gif->Reset();
    player = std::move(gif);
    return DecodeError::None;
}

} // namespace mugrove
