#pragma once

#include "controls/decoders/PictureBytes.h"
#include "output/Outcome.h"

#include <QImage>

#include <optional>
#include <span>

namespace mugrove {

class PicBox;

// Decodes our own picture bytes (a snapshot, a file we wrote) in the program
// (DecodeOwnPicture) and draws the result onto white at its own size
// (transparent parts of icons and GIFs become white). Nothing when the
// bytes are not a picture read there.
std::optional<QImage> DecodeToImage(std::span<const std::uint8_t> bytes);

// Empties the clipboard and puts the picture of `snapshot` on it. False when
// there is no clipboard or no picture to put on it.
bool CopyPictureToClipboard(const PictureBytes& snapshot);

// Puts the work area as shown on the clipboard.
OutputOutcome CopyShown(PicBox& box);

} // namespace mugrove
