#include "output/gif/LossyLzw.h"

#include "output/gif/Rgb.h"

#include <algorithm>
#include <limits>

namespace mugrove::gif {

namespace {

// An image's LZW codes packed least significant bit first into the
// sub-blocks of at most 255 bytes that follow the image descriptor, with
// the code width growing as the table does (as every GIF decoder expects).
class CodeWriter {
public:
    explicit CodeWriter(int minCodeSize) : minCodeSize_(minCodeSize) { Reset(); }

    int Clear() const { return 1 << minCodeSize_; }
    int FirstFree() const { return Clear() + 2; }

    // Writes `code`; `nextCode` is the code the table assigns next.
    void Put(int code, int nextCode)
    {
        bits_ |= std::uint32_t(code) << bitCount_;
        bitCount_ += width_;
        while (bitCount_ >= 8) {
            Byte(std::uint8_t(bits_ & 0xFF));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
        if (nextCode >= (1 << width_) && width_ < 12)
            ++width_;
    }
    void Reset() { width_ = minCodeSize_ + 1; }
    // The remaining bits and the terminating empty block; the blocks, each
    // with its length byte first.
    std::vector<std::uint8_t> Finish()
    {
        if (bitCount_ > 0)
            Byte(std::uint8_t(bits_ & 0xFF));
        bits_ = 0;
        bitCount_ = 0;
        if (blockLength_ > 0)
            out_[blockStart_] = std::uint8_t(blockLength_);
        out_.push_back(0);
        return std::move(out_);
    }

private:
    void Byte(std::uint8_t b)
    {
        if (blockLength_ == 0 || blockLength_ == 255) {
            if (blockLength_ == 255)
                out_[blockStart_] = 255;
            blockStart_ = out_.size();
            out_.push_back(0); // the block's length, set when it ends
            blockLength_ = 0;
        }
        out_.push_back(b);
        ++blockLength_;
    }

    int minCodeSize_;
    int width_ = 0;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    std::size_t blockStart_ = 0, blockLength_ = 0;
    std::vector<std::uint8_t> out_;
};

} // namespace

// The LZW string table as a tree: each code's children, by the symbol
// that extends it, so a string can continue with any near-equal symbol.
struct LossyLzw::StringTable {
    static constexpr int kCodes = 4096;
    std::uint16_t firstChild[kCodes];
    std::uint16_t nextSibling[kCodes];
    std::uint8_t symbol[kCodes];

    void Reset(int roots) { std::fill(firstChild, firstChild + roots, std::uint16_t(0)); }
    void Add(int parent, int code, std::uint8_t s)
    {
        symbol[code] = s;
        firstChild[code] = 0;
        nextSibling[code] = firstChild[parent];
        firstChild[parent] = std::uint16_t(code);
    }
};

LossyLzw::LossyLzw() = default;
LossyLzw::~LossyLzw() = default;

// Each string runs on as long as the next pixel's colour lies within the
// tolerance of a symbol that continues it (the transparent symbol standing
// for what the viewer already shows). Text pixels take only their own symbol.
std::vector<std::uint8_t> LossyLzw::Encode(const LossyImage& image, int codeSize, int tolerance)
{
    if (!table_)
        table_ = std::make_unique<StringTable>();
    StringTable& t = *table_;
    CodeWriter writer(codeSize);
    const int clear = writer.Clear();
    const int roots = clear;
    const int limit = tolerance * tolerance;
    const int x0 = image.rect.x(), y0 = image.rect.y(), w = image.rect.width(), h = image.rect.height();
    int next = writer.FirstFree();
    t.Reset(roots);
    writer.Put(clear, next);

    int code = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y0 + y) * image.stride + std::size_t(x0 + x);
            std::uint8_t& index = image.symbols[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (code < 0) {
                code = index;
                continue;
            }
            const bool text = image.text && image.text[p];
            const std::uint32_t want = image.wanted[p];
            int chosen = 0, chosenError = std::numeric_limits<int>::max();
            for (int child = t.firstChild[code]; child != 0; child = t.nextSibling[child]) {
                const int s = t.symbol[child];
                if (s == index) {
                    chosen = child;
                    break; // its own symbol is as good as any
                }
                if (text)
                    continue;
                const std::uint32_t c = s == image.transparent ? image.beneath[p] : image.palette[std::size_t(s)];
                const int error = Distance2(Red(want), Green(want), Blue(want), c);
                if (error <= limit && error < chosenError) {
                    chosen = child;
                    chosenError = error;
                }
            }
            if (chosen != 0) {
                index = t.symbol[chosen];
                code = chosen;
                continue;
            }
            writer.Put(code, next);
            if (next >= StringTable::kCodes - 1) {
                writer.Put(clear, next);
                writer.Reset();
                next = writer.FirstFree();
                t.Reset(roots);
            } else {
                t.Add(code, next++, index);
            }
            code = index;
        }
    if (code >= 0)
        writer.Put(code, next);
    writer.Put(clear + 1, next);
    return writer.Finish();
}

} // namespace mugrove::gif
