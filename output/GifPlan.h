#pragma once

#include "controls/decoders/ImageKind.h"
#include "output/SizeLimit.h"

namespace mugrove {

// The ways an animated save encodes its frames.
enum class GifWay {
    // Each frame its own palette: an animation's frames may share nothing.
    PalettePerFrame,
    // One palette for the whole film, made in a first pass over its frames:
    // a clip's frames share their colours, and mapping each to one palette
    // is far cheaper than making each its own.
    FilmPalette,
    // The reduction (size, colours, exactness, frames) that keeps the most
    // of the picture within a size limit, found by predicting sizes from a
    // sample of frames.
    SizeLimitedSearch,
};

struct GifPlan {
    GifWay way = GifWay::PalettePerFrame;
    ByteLimit limit = 0; // the size-limited search's; 0 for the other ways
};

// How a moving picture of `kind` is saved within `limit` (0 for none).
inline GifPlan ChooseGifPlan(ByteLimit limit, ImageKind kind)
{
    if (limit != 0)
        return {GifWay::SizeLimitedSearch, limit};
    return {kind == ImageKind::Clip ? GifWay::FilmPalette : GifWay::PalettePerFrame, 0};
}

} // namespace mugrove
