#include "app/document/MemeBytes.h"

#include "app/model/Control.h"
#include "overlay/Captions.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

namespace mugrove {

namespace {

constexpr char kMagic[8] = {'M', 'U', 'G', 'M', 'E', 'M', 'E', '\n'};
constexpr qsizetype kDigestSize = 32; // SHA-256

enum PictureKind : std::uint8_t { kNone = 0, kTemplate = 1, kOwn = 2, kClipFile = 3, kClipBytes = 4 };

// Parts a meme may have beyond the first layout, each after the captions
// as a tag and its bytes; a record without them is a meme without them.
enum ExtraPart : std::uint8_t { kShapePart = 1, kBandPart = 2, kPartCount };

class Writer {
public:
    void U8(std::uint8_t v) { out_.append(char(v)); }
    void U32(std::uint32_t v)
    {
        char b[4];
        qToLittleEndian(v, b);
        out_.append(b, 4);
    }
    void I32(std::int32_t v) { U32(std::uint32_t(v)); }
    void F64(double v) // IEEE 754 bits, little-endian
    {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        U32(std::uint32_t(bits));
        U32(std::uint32_t(bits >> 32));
    }
    void Blob(QByteArrayView bytes)
    {
        U32(std::uint32_t(bytes.size()));
        out_.append(bytes.data(), bytes.size());
    }
    void Rect(const QRect& r)
    {
        I32(r.x());
        I32(r.y());
        I32(r.width());
        I32(r.height());
    }
    QByteArray Take() { return std::move(out_); }

private:
    QByteArray out_;
};

// Reads within the bytes it was given; the first read past their end, or
// a value a meme cannot hold, makes it fail for good.
class Reader {
public:
    explicit Reader(QByteArrayView in) : in_(in) {}

    bool Ok() const { return ok_; }
    bool AtEnd() const { return at_ == in_.size(); }
    void Fail() { ok_ = false; }

    QByteArrayView Take(qsizetype n)
    {
        if (!ok_ || n < 0 || n > in_.size() - at_) {
            ok_ = false;
            return {};
        }
        const QByteArrayView part = in_.sliced(at_, n);
        at_ += n;
        return part;
    }
    std::uint8_t U8()
    {
        const QByteArrayView b = Take(1);
        return ok_ ? std::uint8_t(b[0]) : 0;
    }
    std::uint32_t U32()
    {
        const QByteArrayView b = Take(4);
        return ok_ ? qFromLittleEndian<std::uint32_t>(b.data()) : 0;
    }
    std::int32_t I32() { return std::int32_t(U32()); }
    double F64()
    {
        const std::uint64_t low = U32();
        const std::uint64_t high = U32();
        return std::bit_cast<double>(low | (high << 32));
    }
    QByteArrayView Blob() { return Take(qsizetype(U32())); }
    bool Flag()
    {
        const std::uint8_t v = U8();
        if (v > 1)
            ok_ = false;
        return v == 1;
    }
    // A number that must lie in lo..hi.
    std::int32_t In(std::int32_t lo, std::int32_t hi)
    {
        const std::int32_t v = I32();
        if (v < lo || v > hi)
            ok_ = false;
        return v;
    }
    QRect Rect()
    {
        const int x = In(-kMaxCoordinate, kMaxCoordinate);
        const int y = In(-kMaxCoordinate, kMaxCoordinate);
        const int w = In(0, kMaxCoordinate);
        const int h = In(0, kMaxCoordinate);
        return QRect(x, y, w, h);
    }

private:
    QByteArrayView in_;
    qsizetype at_ = 0;
    bool ok_ = true;
};

bool Finite(const ClipSegment& segment)
{
    return std::isfinite(segment.start) && std::isfinite(segment.end);
}

QByteArray Digest(QByteArrayView payload)
{
    return QCryptographicHash::hash(payload, QCryptographicHash::Sha256);
}

void WritePicture(Writer& w, const PictureSource& picture, const PictureKeyOf& keyOf)
{
    if (const auto* t = std::get_if<TemplatePicture>(&picture)) {
        w.U8(kTemplate);
        w.Blob(t->name.toUtf8());
    } else if (const auto* own = std::get_if<OwnPicture>(&picture); own && own->bytes) {
        w.U8(kOwn);
        w.Blob(keyOf(*own->bytes));
    } else if (const auto* clip = std::get_if<ClipPicture>(&picture)) {
        if (clip->source.bytes) {
            w.U8(kClipBytes);
            w.Blob(keyOf(*clip->source.bytes));
        } else {
            w.U8(kClipFile);
            w.Blob(QByteArrayView(clip->source.path.data(), qsizetype(clip->source.path.size())));
            w.Blob(clip->hash);
        }
        w.F64(clip->segment.start);
        w.F64(clip->segment.end);
    } else {
        w.U8(kNone);
    }
}

MemeBytesError ReadPicture(Reader& r, const PictureByKey& pictureFor, PictureSource& picture)
{
    switch (r.U8()) {
    case kNone: picture = NoPicture{}; return MemeBytesError::None;
    case kTemplate: {
        const QString name = QString::fromUtf8(r.Blob());
        if (r.Ok() && TemplateIndexByName(name) < 0)
            return MemeBytesError::UnknownTemplate;
        picture = TemplatePicture{name};
        return MemeBytesError::None;
    }
    case kOwn: {
        const QByteArray key = r.Blob().toByteArray();
        if (!r.Ok())
            return MemeBytesError::None; // the caller sees the reader failed
        std::shared_ptr<const PictureBytes> bytes = pictureFor(key);
        if (!bytes)
            return MemeBytesError::MissingPicture;
        picture = OwnPicture{std::move(bytes)};
        return MemeBytesError::None;
    }
    case kClipFile: {
        ClipPicture clip;
        const QByteArrayView path = r.Blob();
        clip.source.path = std::string(path.data(), std::size_t(path.size()));
        clip.hash = r.Blob().toByteArray();
        clip.segment = {r.F64(), r.F64()};
        if (!Finite(clip.segment) || clip.source.path.empty() || clip.source.path.find('\0') != std::string::npos)
            r.Fail();
        picture = std::move(clip);
        return MemeBytesError::None;
    }
    case kClipBytes: {
        const QByteArray key = r.Blob().toByteArray();
        ClipPicture clip;
        clip.segment = {r.F64(), r.F64()};
        if (!Finite(clip.segment))
            r.Fail();
        if (!r.Ok())
            return MemeBytesError::None;
        clip.source.bytes = pictureFor(key);
        if (!clip.source.bytes)
            return MemeBytesError::MissingPicture;
        picture = std::move(clip);
        return MemeBytesError::None;
    }
    default: r.Fail(); return MemeBytesError::None;
    }
}

void WriteCaption(Writer& w, const CaptionValue& c)
{
    w.Blob(c.text.toUtf8());
    w.U8(c.font ? 1 : 0);
    if (c.font) {
        const LogFontBytes font = ToBytes(*c.font);
        w.Blob(QByteArrayView(reinterpret_cast<const char*>(font.data()), qsizetype(font.size())));
    }
    w.I32(c.effect);
    w.U32(c.colour);
    w.I32(c.horizontal);
    w.I32(c.vertical);
    w.U8(c.wordWrap ? 1 : 0);
    w.U8(c.outline ? 1 : 0);
    w.Rect(c.geometry);
}

CaptionValue ReadCaption(Reader& r)
{
    CaptionValue c;
    c.text = QString::fromUtf8(r.Blob());
    if (r.Flag()) {
        const QByteArrayView font = r.Blob();
        if (font.size() != qsizetype(kLogFontSize)) {
            r.Fail();
            return c;
        }
        LogFontBytes record;
        std::memcpy(record.data(), font.data(), record.size());
        c.font = FromBytes(record);
    }
    c.effect = r.In(0, 3);
    c.colour = r.U32();
    c.horizontal = r.In(0, 2);
    c.vertical = r.In(0, 2);
    c.wordWrap = r.Flag();
    c.outline = r.Flag();
    c.geometry = r.Rect();
    return c;
}

// The caption band follows the captions, when there is one; records made
// before there was a band end before it.
// What follows the captions: parts a meme has only when it needs them, each
// its tag and its bytes, so a part's length is known whoever reads it.
void WriteParts(Writer& w, const Meme& meme)
{
    if (!meme.frame.shape.Plain()) {
        Writer shape;
        shape.I32(meme.frame.shape.turns);
        shape.U8(meme.frame.shape.mirrored ? 1 : 0);
        shape.Rect(meme.frame.shape.crop);
        w.U8(kShapePart);
        w.Blob(shape.Take());
    }
    if (meme.band) {
        Writer band;
        WriteCaption(band, meme.band->caption);
        band.I32(meme.band->height);
        band.U8(meme.current == kBandCurrent ? 1 : 0);
        w.U8(kBandPart);
        w.Blob(band.Take());
    }
}

void ReadParts(Reader& r, Meme& meme)
{
    bool seen[kPartCount] = {};
    while (r.Ok() && !r.AtEnd()) {
        const std::uint8_t tag = r.U8();
        Reader part(r.Blob());
        // A part this program does not know, or one given twice: not this meme.
        if ((tag != kShapePart && tag != kBandPart) || seen[tag]) {
            r.Fail();
            return;
        }
        seen[tag] = true;
        if (tag == kShapePart) {
            meme.frame.shape.turns = part.In(0, 3);
            meme.frame.shape.mirrored = part.Flag();
            meme.frame.shape.crop = part.Rect();
        } else {
            BandValue band;
            band.caption = ReadCaption(part);
            band.height = part.In(0, kMaxCoordinate);
            if (part.Flag())
                meme.current = kBandCurrent;
            meme.band = std::move(band);
        }
        if (!part.Ok() || !part.AtEnd())
            r.Fail();
    }
}

} // namespace

QByteArray MemeToBytes(const Meme& meme, const PictureKeyOf& keyOf)
{
    Writer w;
    WritePicture(w, meme.picture, keyOf);
    w.Rect(meme.frame.geometry);
    w.I32(meme.frame.displayMode);
    w.U32(std::uint32_t(meme.captions.size()));
    for (const CaptionValue& c : meme.captions)
        WriteCaption(w, c);
    w.I32(std::max(meme.current, 0));
    WriteParts(w, meme);
    const QByteArray payload = w.Take();

    Writer record;
    QByteArray out(kMagic, sizeof kMagic);
    record.U32(kMemeBytesVersion);
    record.Blob(payload);
    out += record.Take();
    out += Digest(payload);
    return out;
}

MemeBytesError MemeFromBytes(QByteArrayView bytes, const PictureByKey& pictureFor, Meme& meme)
{
    if (bytes.size() < qsizetype(sizeof kMagic) || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return MemeBytesError::NotAMeme;
    Reader head(bytes.sliced(sizeof kMagic));
    const std::uint32_t version = head.U32();
    if (!head.Ok())
        return MemeBytesError::Damaged;
    if (version != kMemeBytesVersion)
        return MemeBytesError::OtherVersion;
    const QByteArrayView payload = head.Blob();
    const QByteArrayView digest = head.Take(kDigestSize);
    if (!head.Ok() || !head.AtEnd() || Digest(payload) != digest)
        return MemeBytesError::Damaged;

    Reader r(payload);
    Meme read;
    if (const MemeBytesError e = ReadPicture(r, pictureFor, read.picture); e != MemeBytesError::None)
        return e;
    read.frame.geometry = r.Rect();
    read.frame.displayMode = r.In(0, 2);
    const std::uint32_t count = r.U32();
    if (count == 0 || count > std::uint32_t(kMaxCaptions))
        r.Fail();
    for (std::uint32_t i = 0; r.Ok() && i < count; ++i)
        read.captions.push_back(ReadCaption(r));
    read.current = r.In(0, std::int32_t(count) - 1);
    ReadParts(r, read);
    if (!r.Ok() || !r.AtEnd())
        return MemeBytesError::Damaged;
    meme = std::move(read);
    return MemeBytesError::None;
}

} // namespace mugrove
