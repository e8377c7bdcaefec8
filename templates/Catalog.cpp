#include "templates/Catalog.h"

#include "TemplatePictures.h" // the numbered JPEGs, embedded at build time

#include <array>
#include <iterator>

namespace mugrove {

static_assert(embedded::kEmbeddedFileCount == TemplateCatalog::kCount,
              "one numbered picture per catalogue entry");

namespace {

struct Row {
    const char* label;
    std::int32_t width;
    std::int32_t height;
};

// Each entry shows at its picture's own size, except the two cats, which the
// list has always shown at 265 x 265 (one pixel off their pictures).
constexpr Row kRows[] = {
    {"短发1", 234, 234}, {"短发2", 218, 218}, {"熊猫1", 160, 155}, {"熊猫2", 164, 156},
    {"熊猫3", 208, 207}, {"熊猫4", 156, 172}, {"熊猫5", 160, 131}, {"熊猫6", 133, 139},
    {"斯巴达1", 154, 172}, {"懵逼狗", 264, 237}, {"Tamble", 287, 213}, {"Orrick", 347, 231},
    {"黑人问号", 225, 225}, {"马杀鸡", 198, 197}, {"小屁孩", 198, 198}, {"蠢猫1", 265, 265},
    {"蠢猫2", 265, 265}, {"蘑菇头1", 290, 265}, {"蘑菇头2", 206, 206}, {"蘑菇头3", 208, 210},
    {"蘑菇头4", 220, 220}, {"蘑菇头5", 220, 220}, {"女生1", 220, 220}, {"女生2", 220, 220},
    {"挑衅", 198, 198}, {"蘑菇头6", 171, 163}, {"蘑菇头7", 258, 253}, {"熊猫头1", 400, 400},
    {"熊猫头2", 182, 198}, {"女生3", 300, 300}, {"蘑菇头8", 186, 198}, {"蘑菇头9", 198, 175},
    {"理直气壮", 198, 193}, {"蘑菇头10", 125, 174}, {"打脸", 205, 177}, {"蘑菇头11", 300, 300},
    {"熊猫头3", 300, 300}, {"茫然", 198, 187},
};
static_assert(std::size(kRows) == TemplateCatalog::kCount, "one row per catalogue entry");

std::array<TemplateEntry, TemplateCatalog::kCount> BuildEntries()
{
    std::array<TemplateEntry, TemplateCatalog::kCount> entries{};
    for (int i = 0; i < TemplateCatalog::kCount; ++i)
        entries[i] = {kRows[i].label, embedded::kEmbeddedFiles[i], kRows[i].width, kRows[i].height};
    return entries;
}

} // namespace

const TemplateEntry* TemplateCatalog::Find(int index)
{
    static const std::array<TemplateEntry, kCount> entries = BuildEntries();
    if (index < 0 || index >= kCount)
        return nullptr;
    return &entries[index];
}

} // namespace mugrove
