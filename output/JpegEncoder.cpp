#include "output/JpegEncoder.h"

#include <QSysInfo>

#include <algorithm>
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
    EncodedBytes output{UninitialisedAllocator<std::uint8_t>(false)}; // grows as the library fills it
    std::size_t firstSize = 0;
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
        e.output.resize(e.output.empty() ? e.firstSize : e.output.size() * 2);
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
bool Compress(Encoder* e, const ShownPicture* shown, int quality, bool fittedTables, bool halfChroma)
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

    e->info.image_width = static_cast<JDIMENSION>(shown->Width());
    e->info.image_height = static_cast<JDIMENSION>(shown->Height());
    // Half a byte per pixel holds most photos at this quality, so the output
    // seldom moves; pages of it that are never written cost nothing.
    e->firstSize = std::max(std::size_t{64} << 10,
                            static_cast<std::size_t>(shown->Width()) * static_cast<std::size_t>(shown->Height()) / 2);
    e->info.input_components = 4;
    // A 32-bit pixel is one word 0xFFRRGGBB, so its byte order in memory is
    // the machine's; the unused byte is not read.
    e->info.in_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&e->info);
    jpeg_set_quality(&e->info, quality, TRUE);
    for (int c = 0; c < e->info.num_components; ++c) {
        // Luma is the first component; with half chroma it is sampled twice as
        // finely as the others in each direction.
        const int factor = halfChroma && c == 0 ? 2 : 1;
        e->info.comp_info[c].h_samp_factor = factor;
        e->info.comp_info[c].v_samp_factor = factor;
    }
    e->info.optimize_coding = fittedTables ? TRUE : FALSE;
    jpeg_start_compress(&e->info, TRUE);

    constexpr int kBatch = 16;
    JSAMPROW batch[kBatch];
    while (e->info.next_scanline < e->info.image_height) {
        const JDIMENSION first = e->info.next_scanline;
        int count = 0;
        for (; count < kBatch && first + static_cast<JDIMENSION>(count) < e->info.image_height;
             ++count)
            batch[count] = reinterpret_cast<JSAMPROW>(const_cast<QRgb*>(shown->Row(static_cast<int>(first) + count)));
        jpeg_write_scanlines(&e->info, batch, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&e->info);
    jpeg_destroy_compress(&e->info);
    return true;
}

} // namespace

EncodedBytes EncodeShownAsJpeg(const ShownPicture& shown, int quality, bool fittedTables, bool halfChroma)
{
    if (shown.IsNull() || shown.Width() > JPEG_MAX_DIMENSION || shown.Height() > JPEG_MAX_DIMENSION)
        return {};
    Encoder encoder;
    if (!Compress(&encoder, &shown, quality, fittedTables, halfChroma))
        return {};
    return std::move(encoder.output);
}

} // namespace mugrove
