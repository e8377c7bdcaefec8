#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace mugrove {

// Takes the encoded file piece by piece, in order; false stops the encoding.
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// What the encoder keeps exact in every frame: `protect` marks the pixels of
// text laid over the picture (nonzero = text), which are mapped to their
// nearest palette colour without dithering, and `colours` (0xRRGGBB) go into
// every palette in which they occur, so text pixels of those colours come
// out unchanged. `protect` is empty or one byte per frame pixel.
struct ExactColours {
    std::vector<std::uint8_t> protect;
    std::vector<std::uint32_t> colours;
};

// One palette for a whole film, built from the colours of its frames, so
// that each frame is only mapped to it instead of getting a palette of its
// own: far cheaper, and the colours do not flicker from frame to frame.
class FilmPalette {
public:
    FilmPalette();
    ~FilmPalette();
    FilmPalette(const FilmPalette&) = delete;
    FilmPalette& operator=(const FilmPalette&) = delete;

    // Counts the colours of one frame (any format; alpha is ignored).
    bool Add(const QImage& frame);
    // Up to `colours` colours (0xRRGGBB, 2..255) for the frames added, with
    // `exact` among them unchanged; empty when none could be made.
    std::vector<std::uint32_t> Build(int colours, const std::vector<std::uint32_t>& exact);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// An animated GIF written frame by frame, so only the frame being encoded and
// the picture the viewer would show so far are held, never the whole film.
// Each frame gets its own palette of up to 256 colours, or all share one
// given palette, and the pixels that a
// viewer would already show (unchanged, or within a barely visible distance)
// are left transparent and cut away around the frame's changed rectangle.
class GifEncoder {
public:
    GifEncoder();
    ~GifEncoder();
    GifEncoder(const GifEncoder&) = delete;
    GifEncoder& operator=(const GifEncoder&) = delete;

    // Writes the header of a width × height animation shown `plays` times
    // (0 for ever). False when the size is not 1..65535 or the sink fails.
    bool Begin(int width, int height, int plays, ByteSink sink, ExactColours exact = {});
    // Maps every frame to `colours` (0xRRGGBB, 1..255; one index stays free
    // for transparency), written once as the file's colour table. Before
    // Begin; SetMaxColours then has no effect. False when the palette
    // cannot be used.
    bool SetPalette(const std::vector<std::uint32_t>& colours);
    // At most `colours` (2..256) in each frame's palette, from the next frame
    // on; fewer colours make a smaller file.
    void SetMaxColours(int colours);
    // From the next frame on, lets each LZW string run on through pixels
    // whose colour in the string lies within `tolerance` (RGB distance) of
    // the pixel's own, so runs grow long and the file small; text pixels stay
    // exact. 0, the default, is lossless.
    void SetLossiness(int tolerance);
    // How strongly each frame is dithered, 0..1 (1 by default). Dithering
    // smooths gradients but breaks runs, so a file with little room does
    // better with less.
    void SetDithering(float level);
    // Adds one frame of the animation's size (any format; alpha is ignored)
    // shown for `delayMs` milliseconds. Delays are kept in hundredths of a
    // second, rounded so that the total running time stays right.
    bool AddFrame(const QImage& frame, int delayMs);
    // The bytes of the file encoded so far, handed to the sink or not yet.
    std::size_t Size() const;
    // What a viewer shows after the frames added so far (RGB32).
    QImage Shown() const;
    // Ends the file. False when any part of it could not be written.
    bool Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace mugrove
