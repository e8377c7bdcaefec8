#include "app/model/LogFont.h"

#include <QApplication>
#include <QFont>

namespace mugrove {

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

// The installed faces that stand for the Windows Chinese face names. Naming
// them directly spares a fontconfig search for a family that is not there.
QStringList InstalledFamiliesFor(const QString& face)
{
    if (face == QStringLiteral("宋体"))
        return {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"), face};
    if (face == QStringLiteral("微软雅黑"))
        return {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"), face};
    return {face};
}

} // namespace

QFont ToQFont(const LogFont& font)
{
    QFont q = QApplication::font();
    q.setStyleStrategy(QFont::PreferDefault); // user text may hold any script
    if (!font.faceName.isEmpty())
        q.setFamilies(InstalledFamiliesFor(font.faceName));
    if (font.height < 0)
        q.setPixelSize(-font.height);
    else if (font.height > 0)
        q.setPixelSize(font.height); // a cell height; close enough to the glyph size
    q.setWeight(font.weight >= kWeightBold ? QFont::Bold : QFont::Normal);
    q.setItalic(font.italic != 0);
    q.setUnderline(font.underline != 0);
    q.setStrikeOut(font.strikeOut != 0);
    return q;
}

void RegisterFontSubstitutions()
{
    // Serif for the classic Song face, sans for YaHei, each with fallbacks.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
        {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
         QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")});
    QFont::insertSubstitutions(QStringLiteral("微软雅黑"),
        {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
         QStringLiteral("WenQuanYi Zen Hei")});
}

} // namespace mugrove
