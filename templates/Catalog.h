#pragma once

#include <cstdint>
#include <span>

namespace mugrove {

// One built-in template: its list label, its JPEG file and the size the
// work area takes when it is chosen.
struct TemplateEntry {
    const char* label; // UTF-8
    std::span<const std::uint8_t> picture; // a complete JPEG file, compiled in
    std::int32_t displayWidth;
    std::int32_t displayHeight;
};

// The compiled-in templates, in list order.
class TemplateCatalog {
public:
    static constexpr int kCount = 38;

    static int Count() { return kCount; }
    // Null for an index outside 0 .. kCount - 1.
    static const TemplateEntry* Find(int index);
};

} // namespace mugrove
