#include "output/JpegEncoder.h"

#include "output/BmpLayout.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <new>
#include <utility>

#include <jpeglib.h>

namespace mugrove {

namespace {

// All encoder state lives here, outside the function that calls setjmp, so
// nothing that longjmp skips over needs destroying and no local of that
// function changes between setjmp and longjmp.
struct Encoder {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_destination_mgr destination{};
    std::jmp_buf failed{};
    PictureBytes output; // grows as the library fills it
};

Encoder& EncoderOf(j_common_ptr info)
{
    return *static_cast<Encoder*>(info->client_data);
}

[[noreturn]] void OnError(j_common_ptr info)
{
    std::longjmp(EncoderOf(info).failed, 1);
}

void OnMessage(j_common_ptr, int) {} // warnings are not shown to anyone

// The output grows by doubling; a failed growth is reported to the library
// as an error, never thrown through its C frames.
bool Grow(Encoder& e)
{
    try {
        e.output.resize(e.output.empty() ? std::size_t{64} << 10 : e.output.size() * 2);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void StartOutput(j_compress_ptr info)
{
    Encoder& e = EncoderOf(reinterpret_cast<j_common_ptr>(info));
    e.output.clear();
    if (!Grow(e))
        OnError(reinterpret_cast<j_common_ptr>(info));
    e.destination.next_output_byte = e.output.data();
    e.destination.free_in_buffer = e.output.size();
}

boolean OutputFull(j_compress_ptr info)
{
    Encoder& e = EncoderOf(reinterpret_cast<j_common_ptr>(info));
    const std::size_t used = e.output.size(); // the library only calls this when full
    if (!Grow(e))
        OnError(reinterpret_cast<j_common_ptr>(info));
    e.destination.next_output_byte = e.output.data() + used;
    e.destination.free_in_buffer = e.output.size() - used;
    return TRUE;
}

void FinishOutput(j_compress_ptr info)
{
    Encoder& e = EncoderOf(reinterpret_cast<j_common_ptr>(info));
    e.output.resize(e.output.size() - e.destination.free_in_buffer);
}

// Runs the whole compression; false when the library reported an error.
bool Compress(Encoder* e, const PixelRows* rows, int quality)
{
    e->info.err = jpeg_std_error(&e->errors);
    e->errors.error_exit = OnError;
    e->errors.emit_message = OnMessage;
    e->info.client_data = e;
    if (setjmp(e->failed)) {
        jpeg_destroy_compress(&e->info);
        return false;
    }
    jpeg_create_compress(&e->info);
    e->destination.init_destination = StartOutput;
    e->destination.empty_output_buffer = OutputFull;
    e->destination.term_destination = FinishOutput;
    e->info.dest = &e->destination;

    e->info.image_width = static_cast<JDIMENSION>(rows->width);
    e->info.image_height = static_cast<JDIMENSION>(rows->height);
    e->info.input_components = 3;
    e->info.in_color_space = rows->order == PixelOrder::Bgr ? JCS_EXT_BGR : JCS_RGB;
    jpeg_set_defaults(&e->info);
    jpeg_set_quality(&e->info, quality, TRUE);
    for (int c = 0; c < e->info.num_components; ++c) {
        e->info.comp_info[c].h_samp_factor = 1;
        e->info.comp_info[c].v_samp_factor = 1;
    }
    e->info.optimize_coding = FALSE;
    jpeg_start_compress(&e->info, TRUE);

    constexpr int kBatch = 16;
    JSAMPROW batch[kBatch];
    while (e->info.next_scanline < e->info.image_height) {
        const JDIMENSION first = e->info.next_scanline;
        int count = 0;
        for (; count < kBatch && first + static_cast<JDIMENSION>(count) < e->info.image_height;
             ++count) {
            const std::ptrdiff_t offset =
                static_cast<std::ptrdiff_t>(first + static_cast<JDIMENSION>(count)) * rows->stride;
            batch[count] = const_cast<JSAMPROW>(rows->topRow + offset);
        }
        jpeg_write_scanlines(&e->info, batch, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&e->info);
    jpeg_destroy_compress(&e->info);
    return true;
}

} // namespace

PictureBytes EncodeJpeg(const PixelRows& rows, int quality)
{
    if (!rows.topRow || rows.width < 1 || rows.height < 1 || rows.width > JPEG_MAX_DIMENSION
        || rows.height > JPEG_MAX_DIMENSION)
        return {};
    Encoder encoder;
    if (!Compress(&encoder, &rows, quality))
        return {};
    return std::move(encoder.output);
}

PictureBytes EncodeSnapshotAsJpeg(const PictureBytes& snapshot, int quality)
{
    const std::optional<Bmp24View> bmp = ReadBmp24(snapshot);
    if (!bmp)
        return {};
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(bmp->stride);
    PixelRows rows;
    rows.topRow = bmp->bottomRow + (bmp->height - 1) * stride;
    rows.stride = -stride;
    rows.width = bmp->width;
    rows.height = bmp->height;
    rows.order = PixelOrder::Bgr;
    return EncodeJpeg(rows, quality);
}

} // namespace mugrove
