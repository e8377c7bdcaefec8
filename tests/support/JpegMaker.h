#pragma once

// A JPEG made in memory with libjpeg, for tests and benchmarks that need a
// real camera-like file: `markers` writes segments after the header (EXIF,
// an ICC profile), and `fullChroma` keeps the colour at full resolution.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace mugrove::testing {

inline std::vector<std::uint8_t> MakeJpeg(const std::uint8_t* rgb, int width, int height, int quality,
                                          const std::function<void(jpeg_compress_struct&)>& markers = {},
                                          bool fullChroma = false)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (fullChroma)
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    if (markers)
        markers(info);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(rgb) + std::size_t{3} * std::size_t(width) * info.next_scanline;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> jpeg(out, out + size);
    std::free(out);
    return jpeg;
}

} // namespace mugrove::testing
