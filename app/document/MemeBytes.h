#pragma once

#include "app/document/Meme.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <functional>
#include <memory>

namespace mugrove {

// A meme as bytes, for the store that records the meme of every saved
// file. Pictures are named by a key (the store's, for bytes it keeps
// once), never held in the record; a clip by its path and hash; a template
// by its label. The layout carries its version: a record of another
// version, a cut or altered one is refused whole.
inline constexpr std::uint32_t kMemeBytesVersion = 1;

// The key a picture's bytes are kept under.
using PictureKeyOf = std::function<QByteArray(const PictureBytes& picture)>;
// The bytes kept under a key; null when there are none.
using PictureByKey = std::function<std::shared_ptr<const PictureBytes>(const QByteArray& key)>;

QByteArray MemeToBytes(const Meme& meme, const PictureKeyOf& keyOf);

enum class MemeBytesError {
    None,
    NotAMeme,        // not a record of this program
    OtherVersion,    // a record of an older or newer program
    Damaged,         // cut, altered, or holding values no meme has
    MissingPicture,  // names a picture that the store does not hold
    UnknownTemplate, // names a template this program does not have
};

// The meme in the bytes, its pictures fetched through `pictureFor`; on any
// error `meme` is left as it was. What the controls showed is not recorded:
// the meme read back shows its current caption's own values.
MemeBytesError MemeFromBytes(QByteArrayView bytes, const PictureByKey& pictureFor, Meme& meme);

} // namespace mugrove
