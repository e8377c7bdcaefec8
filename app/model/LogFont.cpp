#include "app/model/LogFont.h"

#include "app/model/MulDiv.h"

#include "app/model/Control.h"
#include "controls/decoders/ByteReader.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QScreen>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cmath>
#include <limits>

namespace mugrove {

namespace {

constexpr const char* kCodePage = "GBK"; // code page 936

bool IsGbkLeadByte(std::uint8_t b)
{
    return b >= 0x81 && b <= 0xFE;
}

} // namespace

QByteArray ToGbk(const QString& text)
{
    QStringEncoder encoder(kCodePage);
    if (encoder.isValid())
        return encoder.encode(text);
    // Without a converter for the code page only ASCII survives.
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out += c.unicode() < 0x80 ? char(c.unicode()) : '?';
    }
    return out;
}

QString FromGbk(const QByteArray& bytes)
{
    QStringDecoder decoder(kCodePage);
    if (decoder.isValid())
        return decoder.decode(bytes);
    QString out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes.at(i));
        if (IsGbkLeadByte(b) && i + 1 < bytes.size())
            ++i;
        out += b < 0x80 ? QChar(char16_t(b)) : QChar::ReplacementCharacter;
    }
    return out;
}

qsizetype GbkLength(const QString& text)
{
    return ToGbk(text).size();
}

std::int32_t ReadInt32(const LogFontBytes& bytes, std::size_t offset)
{
    return static_cast<std::int32_t>(LoadU32(bytes.data() + offset));
}

void WriteInt32(LogFontBytes& bytes, std::size_t offset, std::int32_t value)
{
    StoreU32(bytes.data() + offset, static_cast<std::uint32_t>(value));
}

void WriteFaceName(LogFontBytes& bytes, const QString& name)
{
    const QByteArray encoded = ToGbk(name);
    // Keep room for the terminator and never split a double-byte character.
    qsizetype length = 0;
    while (length < encoded.size()) {
        const qsizetype step = IsGbkLeadByte(std::uint8_t(encoded.at(length))) ? 2 : 1;
        if (length + step > qsizetype(kFaceNameSize) - 1)
            break;
        length += step;
    }
    length = std::min(length, encoded.size());
    for (qsizetype i = 0; i < length; ++i)
        bytes[LogFontField::FaceName + std::size_t(i)] = std::uint8_t(encoded.at(i));
    bytes[LogFontField::FaceName + std::size_t(length)] = 0;
}

LogFontBytes ToBytes(const LogFont& font)
{
    LogFontBytes bytes{};
    WriteInt32(bytes, LogFontField::Height, font.height);
    WriteInt32(bytes, LogFontField::Width, font.width);
    WriteInt32(bytes, LogFontField::Escapement, font.escapement);
    WriteInt32(bytes, LogFontField::Orientation, font.orientation);
    WriteInt32(bytes, LogFontField::Weight, font.weight);
    bytes[LogFontField::Italic] = font.italic;
    bytes[LogFontField::Underline] = font.underline;
    bytes[LogFontField::StrikeOut] = font.strikeOut;
    bytes[LogFontField::CharSet] = font.charSet;
    bytes[LogFontField::OutPrecision] = font.outPrecision;
    bytes[LogFontField::ClipPrecision] = font.clipPrecision;
    bytes[LogFontField::Quality] = font.quality;
    bytes[LogFontField::PitchAndFamily] = font.pitchAndFamily;
    WriteFaceName(bytes, font.faceName);
    return bytes;
}

LogFont FromBytes(const LogFontBytes& bytes)
{
    LogFont font;
    font.height = ReadInt32(bytes, LogFontField::Height);
    font.width = ReadInt32(bytes, LogFontField::Width);
    font.escapement = ReadInt32(bytes, LogFontField::Escapement);
    font.orientation = ReadInt32(bytes, LogFontField::Orientation);
    font.weight = ReadInt32(bytes, LogFontField::Weight);
    font.italic = bytes[LogFontField::Italic];
    font.underline = bytes[LogFontField::Underline];
    font.strikeOut = bytes[LogFontField::StrikeOut];
    font.charSet = bytes[LogFontField::CharSet];
    font.outPrecision = bytes[LogFontField::OutPrecision];
    font.clipPrecision = bytes[LogFontField::ClipPrecision];
    font.quality = bytes[LogFontField::Quality];
    font.pitchAndFamily = bytes[LogFontField::PitchAndFamily];
    // A name that fills all 32 bytes without a terminator is read up to the end.
    std::size_t length = 0;
    while (length < kFaceNameSize && bytes[LogFontField::FaceName + length] != 0)
        ++length;
    font.faceName = FromGbk(QByteArray(
        reinterpret_cast<const char*>(bytes.data() + LogFontField::FaceName), qsizetype(length)));
    return font;
}

int ScreenDpiY()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 96;
    return static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
}

QString FallbackFaceName()
{
    return QStringLiteral("宋体");
}

bool FaceNameFits(const QString& name)
{
    return !name.isEmpty() && GbkLength(name) < qsizetype(kFaceNameSize);
}

std::int32_t HeightForSize(std::int32_t size, int dpi)
{
    return -MulDiv(std::max(size, 0), dpi, 72);
}

LogFont ToLogFont(const OverlayFont& record, int dpi)
{
    LogFont font;
    font.escapement = record.Angle;
    font.orientation = record.Angle;
    font.weight = record.Bold != 0 ? kWeightBold : 0;
    font.italic = record.Italic != 0 ? 1 : 0;
    font.strikeOut = record.StrikeOut != 0 ? 1 : 0;
    font.underline = record.Underline != 0 ? 1 : 0;
    font.height = HeightForSize(record.Size, dpi);
    font.faceName = record.FaceName && FaceNameFits(*record.FaceName) ? *record.FaceName
                                                                     : FallbackFaceName();
    return font;
}

OverlayFont ToOverlayFont(const LogFont& font, int dpi)
{
    OverlayFont record;
    record.Angle = font.orientation;
    record.Bold = font.weight >= kWeightBold ? 1 : 0;
    record.Italic = font.italic != 0 ? 1 : 0;
    record.StrikeOut = font.strikeOut != 0 ? 1 : 0;
    record.Underline = font.underline != 0 ? 1 : 0;
    const std::int64_t height = font.height;
    record.Size = MulDiv(height < 0 ? -height : height, 72, dpi);
    record.FaceName = font.faceName.isEmpty() ? std::nullopt : std::optional<QString>(font.faceName);
    return record;
}

LogFont DefaultGuiLogFont(int dpi)
{
    const QFont app = QApplication::font();
    LogFont font;
    if (app.pixelSize() > 0)
        font.height = -app.pixelSize();
    else
        font.height = -static_cast<std::int32_t>(std::lround(app.pointSizeF() * dpi / 72.0));
    font.weight = app.weight();
    font.italic = app.italic() ? 1 : 0;
    font.underline = app.underline() ? 1 : 0;
    font.strikeOut = app.strikeOut() ? 1 : 0;
    font.charSet = kCharSetDefault;
    font.faceName = app.family();
    return font;
}

LogFont SongTi16()
{
    LogFont f;
    f.height = -16;
    f.weight = 400;
    f.charSet = kCharSetGb2312;
    f.outPrecision = 3;
    f.clipPrecision = 2;
    f.quality = 1;
    f.pitchAndFamily = 2;
    f.faceName = QStringLiteral("宋体");
    return f;
}

LogFont YaHeiBold16()
{
    LogFont f = SongTi16();
    f.weight = kWeightBold;
    f.pitchAndFamily = 34;
    f.faceName = QStringLiteral("微软雅黑");
    return f;
}

namespace {

// The installed faces that stand for the Windows Chinese face names, best
// first: serif for the classic Song face, sans for YaHei.
QStringList StandInsFor(const QString& face)
{
    if (face == QStringLiteral("宋体"))
        return {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")};
    if (face == QStringLiteral("微软雅黑"))
        return {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                QStringLiteral("WenQuanYi Zen Hei")};
    return {};
}

// Naming the stand-ins directly spares a fontconfig search for a family
// that is not there.
QStringList InstalledFamiliesFor(const QString& face)
{
    return StandInsFor(face) << face;
}

} // namespace

QFont ToQFont(const LogFont& font)
{
    QFont q = QApplication::font();
    // User text may hold any script, so glyphs may come from other faces; the
    // application's antialiasing choice stays.
    constexpr int kAntialiasing = QFont::PreferAntialias | QFont::NoAntialias | QFont::NoSubpixelAntialias;
    q.setStyleStrategy(QFont::StyleStrategy(QFont::PreferDefault | (q.styleStrategy() & kAntialiasing)));
    if (!font.faceName.isEmpty())
        q.setFamilies(InstalledFamiliesFor(font.faceName));
    // Glyphs taller than any window could show are pointless; keep the
    // rasteriser to sizes a coordinate can hold.
    const auto pixels = [](std::int64_t h) { return int(std::clamp<std::int64_t>(h, 1, kMaxCoordinate)); };
    const std::int64_t height = font.height;
    if (height < 0) {
        q.setPixelSize(pixels(-height));
    } else if (height > 0) {
        // A cell height: scale the em so that ascent plus descent fill it.
        q.setPixelSize(pixels(height));
        const QFontMetricsF metrics(q);
        const qreal cell = metrics.ascent() + metrics.descent();
        if (cell > 0)
            q.setPixelSize(pixels(std::llround(qreal(height) * height / cell)));
    }
    // 0 is "don't care", which draws as normal weight.
    q.setWeight(font.weight == 0 ? QFont::Normal : QFont::Weight(std::clamp(font.weight, 1, 1000)));
    q.setItalic(font.italic != 0);
    q.setUnderline(font.underline != 0);
    q.setStrikeOut(font.strikeOut != 0);
    if (font.width != 0) {
        const qreal average = QFontMetricsF(q).averageCharWidth();
        const std::int64_t width = font.width < 0 ? -std::int64_t(font.width) : font.width;
        if (average > 0)
            q.setStretch(int(std::clamp<qreal>(std::round(100.0 * qreal(width) / average), 1, 4000)));
    }
    return q;
}

QFont WithGlyphFallback(QFont font)
{
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() & ~QFont::NoFontMerging));
    return font;
}

void RegisterFontSubstitutions()
{
    for (const QString& face : {QStringLiteral("宋体"), QStringLiteral("微软雅黑")})
        QFont::insertSubstitutions(face, StandInsFor(face));
}

namespace {

QFont DefaultGuiFont()
{
    QFont font = QApplication::font();
    const QString chinese = QStringLiteral("Noto Sans CJK SC");
    if (QFontDatabase::hasFamily(chinese)) {
        QStringList families = font.families();
        if (families.isEmpty())
            families << font.family();
        families.removeAll(chinese);
        families.prepend(chinese);
        font.setFamilies(families);
        font.setStyleStrategy(QFont::NoFontMerging);
    }
    font.setPixelSize(kGuiFontPixels);
    return font;
}

} // namespace

void UseDefaultGuiFont()
{
    QApplication::setFont(DefaultGuiFont());
}

} // namespace mugrove
