// TREVLIN: a gzip member made of pieces packed apart, each on the thread
// that formats its text, and joined in order.
#ifndef TREVLIN_GZIP_MEMBER_H
#define TREVLIN_GZIP_MEMBER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// Compressed text and the CRC-32 and length of the text it holds.
struct PackedText {
    std::vector<unsigned char> bytes; // grows as needed, kept between uses
    size_t used = 0;
    uint32_t crc = 0;
    uint64_t length = 0;
};

// A raw deflate stream of one gzip level, used by one thread at a time.
struct TextPacker;
TextPacker *newTextPacker(int level); // null when zlib cannot start one
void freeTextPacker(TextPacker *p);
int packerLevel(const TextPacker *p);

// One piece: packBegin, packMore for each part of its text, packEnd. A
// piece depends on its text alone, and pieces join into one stream.
bool packBegin(TextPacker *p, PackedText *out);
bool packMore(TextPacker *p, const char *text, size_t n, PackedText *out);
bool packEnd(TextPacker *p, PackedText *out);

// The member around the pieces: what the writer keeps of them.
struct GzipMember {
    uint32_t crc;
    uint64_t length;
};
bool writeGzipHeader(FILE *fout, int level);
void addPiece(GzipMember *m, const PackedText &piece);
bool writeGzipTrailer(FILE *fout, const GzipMember &m);

#endif
