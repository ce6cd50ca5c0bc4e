// TREVLIN: point text written as one gzip member, from pieces compressed
// apart.
//
// Each job's text is compressed on its own, from a fresh raw deflate
// stream, and ends in a full flush: the pieces then join, in job order,
// into one valid deflate stream, and since a piece depends on its job's
// text alone, the member holds the same bytes whichever thread packed
// which job. The writer frames them: a fixed header (no name, no time, so
// that two runs give the same bytes), the pieces, an empty final block,
// and a trailer whose CRC-32 and length are combined from the pieces'.
#include "gzip_member.h"

#include <zlib.h>

#include <climits>
#include <cstring>
#include <new>

struct TextPacker {
    z_stream z;
    int level;
};

namespace
{

// Raw deflate (no zlib wrapper), the default window and memory.
constexpr int RAW_WINDOW_BITS = -15;
constexpr int MEMORY_LEVEL = 8;

// A final block of fixed Huffman codes that holds nothing: the end of the
// deflate stream, after the last piece's full flush.
constexpr unsigned char EMPTY_FINAL_BLOCK[] = {0x03, 0x00};

// Runs deflate over what z holds with `flush`, growing `out` as needed.
bool deflateInto(z_stream *z, int flush, PackedText *out)
{
    for (;;) {
        if (out->bytes.size() - out->used < 4096)
            out->bytes.resize(out->bytes.size() + (out->bytes.size() >> 1) + 65536);
        z->next_out = out->bytes.data() + out->used;
        const size_t room = out->bytes.size() - out->used;
        z->avail_out = static_cast<uInt>(room < UINT_MAX ? room : UINT_MAX);
        const int result = deflate(z, flush);
        out->used = static_cast<size_t>(z->next_out - out->bytes.data());
        if (result != Z_OK && result != Z_BUF_ERROR)
            return false;
        if (z->avail_in == 0 && z->avail_out != 0)
            return true;
    }
}

void putLittleEndian32(unsigned char *at, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        at[k] = static_cast<unsigned char>(value >> (8 * k));
}

} // namespace

TextPacker *newTextPacker(int level)
{
    TextPacker *p = new (std::nothrow) TextPacker{};
    if (!p)
        return nullptr;
    p->level = level;
    if (deflateInit2(&p->z, level, Z_DEFLATED, RAW_WINDOW_BITS, MEMORY_LEVEL, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        delete p;
        return nullptr;
    }
    return p;
}

void freeTextPacker(TextPacker *p)
{
    if (!p)
        return;
    deflateEnd(&p->z);
    delete p;
}

int packerLevel(const TextPacker *p)
{
    return p->level;
}

bool packBegin(TextPacker *p, PackedText *out)
{
    out->used = 0;
    out->crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
    out->length = 0;
    return deflateReset(&p->z) == Z_OK;
}

bool packMore(TextPacker *p, const char *text, size_t n, PackedText *out)
{
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
    while (n > 0) {
        const uInt piece = static_cast<uInt>(n < (1u << 30) ? n : (1u << 30));
        out->crc = static_cast<uint32_t>(crc32(out->crc, bytes, piece));
        out->length += piece;
        p->z.next_in = const_cast<unsigned char *>(bytes);
        p->z.avail_in = piece;
        if (!deflateInto(&p->z, Z_NO_FLUSH, out))
            return false;
        bytes += piece, n -= piece;
    }
    return true;
}

bool packEnd(TextPacker *p, PackedText *out)
{
    p->z.next_in = nullptr;
    p->z.avail_in = 0;
    return deflateInto(&p->z, Z_FULL_FLUSH, out);
}

bool writeGzipHeader(FILE *fout, int level)
{
    // Extra flags say "best" for level 9 and "fastest" for level 1; the
    // operating system is "unknown", so that every build writes the same.
    const unsigned char extra = level == 9 ? 2 : level == 1 ? 4 : 0;
    const unsigned char header[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, extra, 255};
    return std::fwrite(header, 1, sizeof header, fout) == sizeof header;
}

void addPiece(GzipMember *m, const PackedText &piece)
{
    m->crc =
        static_cast<uint32_t>(crc32_combine(m->crc, piece.crc, static_cast<z_off_t>(piece.length)));
    m->length += piece.length;
}

bool writeGzipTrailer(FILE *fout, const GzipMember &m)
{
    unsigned char trailer[sizeof EMPTY_FINAL_BLOCK + 8];
    std::memcpy(trailer, EMPTY_FINAL_BLOCK, sizeof EMPTY_FINAL_BLOCK);
    putLittleEndian32(trailer + 2, m.crc);
    putLittleEndian32(trailer + 6, static_cast<uint32_t>(m.length)); // the length modulo 2^32
    return std::fwrite(trailer, 1, sizeof trailer, fout) == sizeof trailer;
}
