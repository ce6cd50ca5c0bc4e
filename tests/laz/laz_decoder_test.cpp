// The LAZ decoder on its own: real LAZ files of other software decode to
// the records of their uncompressed twins, byte for byte; layouts and chunk
// tables that cannot be right are refused with a reason; and no damage to
// a chunk makes the decoder read outside its bytes (checked under
// AddressSanitizer) or claim a cut chunk whole.
#include "laz_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace
{

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

template <typename T> T at(const std::string &bytes, size_t offset)
{
    T v{};
    if (offset + sizeof v <= bytes.size())
        std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

const unsigned char *bytesAt(const std::string &s, size_t offset)
{
    return reinterpret_cast<const unsigned char *>(s.data()) + offset;
}

// A LAZ file read the plain way: its layout, chunks and where its records
// lie in its twin.
struct Sample {
    std::string laz;
    LazLayout layout;
    std::vector<LazChunk> chunks;
    bool sequential = false; // no chunk table: decoded in turn from here
    uint64_t sequenceStart = 0, points = 0;
    std::string problem;
};

Sample readSample(const std::string &path)
{
    Sample s;
    s.laz = slurp(path);
    const uint16_t recordLength = at<uint16_t>(s.laz, 105);
    const uint32_t data = at<uint32_t>(s.laz, 96);
    size_t vlr = at<uint16_t>(s.laz, 94);
    for (uint32_t k = 0; k < at<uint32_t>(s.laz, 100); ++k) {
        const size_t length = at<uint16_t>(s.laz, vlr + 20);
        if (s.laz.compare(vlr + 2, 14, "laszip encoded") == 0)
            s.problem = lazLayoutOf(bytesAt(s.laz, vlr + 54), length, recordLength, &s.layout).why;
        vlr += 54 + length;
    }
    if (!s.problem.empty() || !lazUnreadItems(s.layout).why.empty())
        return s;
    s.points = s.laz[25] >= 4 ? at<uint64_t>(s.laz, 247) : at<uint32_t>(s.laz, 107);
    int64_t table = s.layout.compressor == LAZ_POINTWISE ? data : at<int64_t>(s.laz, data);
    if (table == -1)
        table = at<int64_t>(s.laz, s.laz.size() - 8);
    if (table == data) {
        s.sequential = true;
        s.sequenceStart = data + (s.layout.compressor == LAZ_POINTWISE ? 0 : 8);
        return s;
    }
    s.problem = lazChunksOf(s.layout, data + 8, bytesAt(s.laz, static_cast<size_t>(table)),
                            s.laz.size() - static_cast<size_t>(table), static_cast<uint64_t>(table),
                            s.points, &s.chunks)
                    .why;
    return s;
}

std::vector<std::string> sortedRecords(const std::string &records, size_t length)
{
    std::vector<std::string> list;
    for (size_t at = 0; at + length <= records.size(); at += length)
        list.push_back(records.substr(at, length));
    std::sort(list.begin(), list.end());
    return list;
}

// Bytes handed out in pieces of at most `piece`, as a file read in turn.
struct Pieces {
    const std::string *bytes;
    size_t at, piece;
};

size_t readPiece(void *source, unsigned char *to, size_t n)
{
    Pieces *p = static_cast<Pieces *>(source);
    n = std::min({n, p->piece, p->bytes->size() - p->at});
    std::memcpy(to, p->bytes->data() + p->at, n);
    p->at += n;
    return n;
}

// Every record of a sample that no table lists, decoded in turn a few at
// a time: "" or why not.
std::string decodeInTurn(const Sample &s, uint64_t perCall, std::string *records)
{
    Pieces pieces{&s.laz, static_cast<size_t>(s.sequenceStart), 777};
    LazSequence *sequence = lazStartSequence(s.layout, readPiece, &pieces);
    if (!sequence)
        return "not decoded in turn";
    std::string why;
    std::vector<unsigned char> buffer(perCall * s.layout.recordLength);
    for (uint64_t left = s.points; left > 0 && why.empty();) {
        uint64_t got = 0;
        why = lazSequencePoints(sequence, std::min(left, perCall), buffer.data(), &got).why;
        records->append(reinterpret_cast<const char *>(buffer.data()), got * s.layout.recordLength);
        if (got == 0)
            break;
        left -= got;
    }
    lazEndSequence(sequence);
    return why;
}

std::vector<std::pair<std::string, std::string>> twins()
{
    std::ifstream tsv(std::string(TREVLIN_TEST_DATA) + "/LAZ-SOURCES.tsv");
    std::string line;
    std::getline(tsv, line);
    std::vector<std::pair<std::string, std::string>> list;
    while (std::getline(tsv, line)) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');)
            cells.push_back(cell);
        if (cells.size() > 8 && !cells[8].empty())
            list.emplace_back(cells[0], cells[8]);
    }
    return list;
}

TEST(LazDecoder, EveryReadableSampleDecodesToItsTwinsRecords)
{
    int decoded = 0;
    for (const auto &[laz, las] : twins()) {
        const Sample s = readSample(std::string(TREVLIN_TEST_DATA) + "/" + laz);
        ASSERT_EQ(s.problem, "") << laz;
        if (!lazUnreadItems(s.layout).why.empty())
            continue;
        const std::string twin = slurp(std::string(TREVLIN_TEST_DATA) + "/" + las);
        const size_t length = s.layout.recordLength;
        size_t record = at<uint32_t>(twin, 96);
        if (s.sequential) {
            for (uint64_t perCall : {uint64_t{1}, uint64_t{5}, s.points}) {
                std::string records;
                ASSERT_EQ(decodeInTurn(s, perCall, &records), "") << laz;
                EXPECT_EQ(records, twin.substr(record, s.points * length)) << laz;
            }
            ++decoded;
            continue;
        }
        std::string all;
        for (size_t c = 0; c < s.chunks.size(); ++c) {
            const LazChunk &chunk = s.chunks[c];
            std::vector<unsigned char> records(chunk.points * length);
            size_t used = 0;
            ASSERT_EQ(lazDecodeChunk(s.layout, bytesAt(s.laz, chunk.start), chunk.bytes,
                                     chunk.points, records.data(), &used)
                          .why,
                      "")
                << laz << " chunk " << c;
            EXPECT_EQ(used, chunk.bytes) << laz << " chunk " << c;
            all.append(reinterpret_cast<const char *>(records.data()), records.size());
        }
        ASSERT_LE(record + all.size(), twin.size()) << laz;
        // The COPC twins list the points by their place in space.
        if (laz.find(".copc") != std::string::npos)
            EXPECT_EQ(sortedRecords(all, length),
                      sortedRecords(twin.substr(record, all.size()), length))
                << laz;
        else
            EXPECT_EQ(all, twin.substr(record, all.size())) << laz;
        ++decoded;
    }
    EXPECT_GE(decoded, 20);
}

TEST(LazDecoder, LayoutsThatCannotBeRightAreRefused)
{
    // POINT10 and GPSTIME11 version 2, 28-byte records, chunks of 50000.
    std::string good(34 + 12, '\0');
    const uint16_t two = 2, items = 2, point10[3] = {6, 20, 2}, gps[3] = {7, 8, 2};
    const uint32_t chunk = 50000;
    std::memcpy(&good[0], &two, 2);
    std::memcpy(&good[12], &chunk, 4);
    std::memcpy(&good[32], &items, 2);
    std::memcpy(&good[34], point10, 6);
    std::memcpy(&good[40], gps, 6);
    LazLayout layout;
    ASSERT_EQ(lazLayoutOf(bytesAt(good, 0), good.size(), 28, &layout).why, "");
    EXPECT_EQ(lazUnreadItems(layout).why, "");
    const auto with = [&good](size_t offset, uint16_t value) {
        std::string bytes = good;
        std::memcpy(&bytes[offset], &value, 2);
        return bytes;
    };
    const struct {
        std::string payload;
        uint16_t recordLength;
        std::string why;
    } table[] = {
        {good.substr(0, 20), 28, "its LASzip VLR holds 20 bytes, fewer than 34"},
        {good, 34, "the items of its LASzip VLR take 28 bytes, its records 34"},
        {with(2, 1), 28, "its LASzip VLR names coder 1, not the arithmetic one"},
        {with(0, 4), 28, "its LASzip VLR names compressor 4"},
        {with(32, 3), 28, "its LASzip VLR lists 3 items in 46 bytes"},
        {with(40, 5), 28, "its LASzip VLR lists an item of unknown type 5"},
        {with(36, 21), 29, "its LASzip VLR gives POINT10 21 bytes"},
    };
    for (const auto &c : table)
        EXPECT_EQ(lazLayoutOf(bytesAt(c.payload, 0), c.payload.size(), c.recordLength, &layout).why,
                  c.why);
}

TEST(LazDecoder, ChunkTablesThatCannotBeRightAreRefused)
{
    Sample s =
        readSample(std::string(TREVLIN_TEST_DATA) + "/hobuinc__laz-perf__point-color-time.laz");
    ASSERT_EQ(s.problem, "");
    const size_t table = static_cast<size_t>(at<int64_t>(s.laz, at<uint32_t>(s.laz, 96)));
    const std::string bytes = s.laz.substr(table);
    std::vector<LazChunk> chunks;
    const uint64_t data = at<uint32_t>(s.laz, 96) + 8;
    EXPECT_EQ(lazChunksOf(s.layout, data, bytesAt(bytes, 0), 6, table, 1065, &chunks).why,
              "its chunk table is cut short");
    std::string versioned = bytes;
    versioned[0] = 1;
    EXPECT_EQ(
        lazChunksOf(s.layout, data, bytesAt(versioned, 0), versioned.size(), table, 1065, &chunks)
            .why,
        "its chunk table has version 1");
    std::string many = bytes;
    const uint32_t count = 5000;
    std::memcpy(&many[4], &count, 4);
    EXPECT_EQ(lazChunksOf(s.layout, data, bytesAt(many, 0), many.size(), table, 1065, &chunks).why,
              "its chunk table lists 5000 chunks for 1065 points");
    // The one chunk would end beyond where the table begins.
    EXPECT_EQ(
        lazChunksOf(s.layout, data, bytesAt(bytes, 0), bytes.size(), table - 100, 1065, &chunks)
            .why,
        "its chunk table places chunk 0 outside the file");
}

// Cut or damaged, a chunk is decoded within its bytes: a cut one says so,
// a damaged one gives some records, and neither reads outside; pointwise
// and layered, every field decoded or only some.
TEST(LazDecoder, DamagedChunksStayWithinTheirBytes)
{
    for (const char *sample :
         {"hobuinc__laz-perf__point-color-time.laz", "visgl__loaders.gl__pdrf10-1.4.laz",
          "visgl__loaders.gl__pdrf7-v4-1.4.laz"}) {
        const Sample s = readSample(std::string(TREVLIN_TEST_DATA) + "/" + sample);
        ASSERT_EQ(s.problem, "");
        const LazChunk &chunk = s.chunks.at(0);
        const std::string whole = s.laz.substr(chunk.start, chunk.bytes);
        std::vector<unsigned char> records(chunk.points * s.layout.recordLength);
        size_t used = 0;
        for (size_t cut :
             {size_t{0}, size_t{10}, size_t{40}, whole.size() / 2, whole.size() - 40}) {
            const std::vector<unsigned char> bytes(whole.begin(), whole.begin() + cut);
            EXPECT_NE(lazDecodeChunk(s.layout, bytes.data(), bytes.size(), chunk.points,
                                     records.data(), &used)
                          .why,
                      "")
                << sample << cut;
        }
        if (s.layout.compressor == LAZ_LAYERED_CHUNKED) {
            // X and Y are decoded from an empty layer, which runs out at once.
            std::vector<unsigned char> bytes(whole.begin(), whole.end());
            std::memset(&bytes[s.layout.recordLength + 4], 0, 4);
            EXPECT_EQ(lazDecodeChunk(s.layout, bytes.data(), bytes.size(), chunk.points,
                                     records.data(), &used)
                          .why,
                      "it decodes past its bytes")
                << sample;
        }
        for (size_t at = 0; at < whole.size(); at += 97) {
            std::vector<unsigned char> bytes(whole.begin(), whole.end());
            bytes[at] ^= 0x5A;
            for (uint32_t fields : {uint32_t{LAZ_ALL_FIELDS}, uint32_t{LAZ_FIELD_Z}}) {
                lazDecodeChunk(s.layout, bytes.data(), bytes.size(), chunk.points, records.data(),
                               &used, fields)
                    .why;
                EXPECT_LE(used, bytes.size()) << sample << at;
            }
        }
    }
}

} // namespace
