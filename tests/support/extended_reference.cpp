// fprintf transcription of the -x columns, from raw bytes and a table of
// offsets; it shares no code with the tool's writer.
#include "extended_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace
{

// Where each attribute lies in a record of a point format; -1: absent.
struct FormatTable {
    int gps, rgb, nir;
};
const FormatTable FORMATS[11] = {
    {-1, -1, -1}, {20, -1, -1}, {-1, 20, -1}, {20, 28, -1}, {20, -1, -1}, {20, 28, -1},
    {22, -1, -1}, {22, 30, -1}, {22, 30, 36}, {22, -1, -1}, {22, 30, 36},
};

template <typename T> T at(const std::string &bytes, size_t offset)
{
    T value{};
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

int decimals(double scale)
{
    // As printf needs it: the decimals that make scale * 10^d whole, judged
    // with a 32-bit multiplier as the tool's rule does.
    uint32_t m = 1;
    int d = 0;
    while (d < 32) {
        const double p = static_cast<double>(static_cast<int32_t>(m)) * scale;
        if (p == std::floor(p))
            break;
        m *= 10u;
        ++d;
    }
    return d;
}

struct Point {
    double x, y, z, gps;
    int intensity, ret, nret, dir, edge, cls, user, psid, r, g, b, nir, flags, channel;
    int angleRank;   // formats 0-5
    long angleMilli; // formats 6-10: thousandths of a degree
};

Point decode(const std::string &rec, int format, const double scale[3], const double offset[3])
{
    Point p{};
    const bool ext = format >= 6;
    double c[3];
    for (int k = 0; k < 3; ++k) {
        c[k] = at<int32_t>(rec, 4 * static_cast<size_t>(k)) * scale[k];
        c[k] = c[k] + offset[k];
    }
    p.x = c[0], p.y = c[1], p.z = c[2];
    p.intensity = at<uint16_t>(rec, 12);
    const int b14 = at<uint8_t>(rec, 14), b15 = at<uint8_t>(rec, 15);
    if (ext) {
        p.ret = b14 & 15, p.nret = b14 >> 4;
        p.flags = b15 & 15, p.channel = (b15 >> 4) & 3, p.dir = (b15 >> 6) & 1, p.edge = b15 >> 7;
        p.cls = at<uint8_t>(rec, 16), p.user = at<uint8_t>(rec, 17);
        p.angleMilli = 6L * at<int16_t>(rec, 18);
        p.psid = at<uint16_t>(rec, 20);
    } else {
        p.ret = b14 & 7, p.nret = (b14 >> 3) & 7, p.dir = (b14 >> 6) & 1, p.edge = b14 >> 7;
        p.cls = b15, p.angleRank = at<int8_t>(rec, 16), p.user = at<uint8_t>(rec, 17);
        p.psid = at<uint16_t>(rec, 18);
    }
    const FormatTable &t = FORMATS[format];
    if (t.gps >= 0)
        p.gps = at<double>(rec, static_cast<size_t>(t.gps));
    if (t.rgb >= 0) {
        p.r = at<uint16_t>(rec, static_cast<size_t>(t.rgb));
        p.g = at<uint16_t>(rec, static_cast<size_t>(t.rgb) + 2);
        p.b = at<uint16_t>(rec, static_cast<size_t>(t.rgb) + 4);
    }
    if (t.nir >= 0)
        p.nir = at<uint16_t>(rec, static_cast<size_t>(t.nir));
    return p;
}

void printAngle(FILE *o, const Point &p, bool ext)
{
    if (!ext) {
        std::fprintf(o, "%d", p.angleRank);
        return;
    }
    const long m = p.angleMilli < 0 ? -p.angleMilli : p.angleMilli;
    std::fprintf(o, "%s%ld.%03ld", p.angleMilli < 0 ? "-" : "", m / 1000, m % 1000);
}

// One described attribute, read from the Extra Bytes VLR's bytes.
struct Extra {
    std::string name;
    size_t offset;
    int type;
    bool scaled;
    double scale, offset_;
};

// A name as the header line shows it: ' for a double quote, / for a
// backslash, ? for a control character and for each byte that does not
// begin a sequence of UTF-8's shape (a lead byte, then its continuations).
std::string shownName(const std::string &raw)
{
    std::string shown;
    size_t k = 0;
    while (k < raw.size()) {
        const unsigned char b = static_cast<unsigned char>(raw[k]);
        const size_t n = b < 0x80                ? 1
                         : b >= 0xC0 && b < 0xE0 ? 2
                         : b >= 0xE0 && b < 0xF0 ? 3
                         : b >= 0xF0 && b < 0xF8 ? 4
                                                 : 0;
        bool whole = n > 0 && k + n <= raw.size();
        unsigned long code = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        for (size_t j = 1; whole && j < n; ++j) {
            const unsigned char c = static_cast<unsigned char>(raw[k + j]);
            whole = (c & 0xC0) == 0x80;
            code = code << 6 | (c & 0x3F);
        }
        if (!whole || code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            shown += '?';
            k += 1;
            continue;
        }
        shown += code == '"'    ? std::string("'")
                 : code == '\\' ? std::string("/")
                                : raw.substr(k, n);
        k += n;
    }
    return shown;
}

// Where the descriptor bytes of every Extra Bytes record lie: the VLRs',
// then the extended VLRs' of LAS 1.4 and later; false when one's length
// cannot be right.
bool descriptorSpans(const std::string &f, std::vector<std::pair<size_t, size_t>> *spans)
{
    const size_t headerSize = at<uint16_t>(f, 94), data = at<uint32_t>(f, 96);
    size_t v = headerSize;
    for (uint32_t k = 0; k < at<uint32_t>(f, 100) && v + 54 <= data && v + 54 <= f.size(); ++k) {
        const size_t n = at<uint16_t>(f, v + 20);
        if (f.compare(v + 2, 10, std::string("LASF_Spec\0", 10)) == 0 &&
            at<uint16_t>(f, v + 18) == 4) {
            if (n % 192 != 0 || v + 54 + n > data || v + 54 + n > f.size())
                return false;
            spans->push_back({v + 54, n});
        }
        v += 54 + n;
    }
    if (at<uint8_t>(f, 25) < 4)
        return true;
    uint64_t e = at<uint64_t>(f, 235);
    for (uint32_t k = 0; k < at<uint32_t>(f, 243) && e >= data && e + 60 <= f.size(); ++k) {
        const uint64_t n = at<uint64_t>(f, e + 20);
        if (f.compare(e + 2, 10, std::string("LASF_Spec\0", 10)) == 0 &&
            at<uint16_t>(f, e + 18) == 4) {
            if (n % 192 != 0 || n > f.size() - e - 60)
                return false;
            spans->push_back({e + 60, n});
        }
        e += 60 + n;
    }
    return true;
}

// The attributes of types 1-10 that the file's Extra Bytes records
// describe, one description in file order; none when it cannot be.
std::vector<Extra> extrasOf(const std::string &f)
{
    const int format = at<uint8_t>(f, 104);
    const size_t length = at<uint16_t>(f, 105);
    static const size_t standard[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
    static const size_t sizes[11] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8};
    std::vector<std::pair<size_t, size_t>> spans;
    if (!descriptorSpans(f, &spans))
        return {};
    std::vector<Extra> extras;
    size_t offset = standard[format];
    for (const auto &[start, n] : spans)
        for (size_t d = start; d < start + n; d += 192) {
            const int type = at<uint8_t>(f, d + 2), options = at<uint8_t>(f, d + 3);
            if (type > 30)
                return {};
            const size_t bytes = type == 0 ? static_cast<size_t>(options)
                                           : sizes[(type - 1) % 10 + 1] * ((type - 1) / 10 + 1);
            if (offset + bytes > length)
                return {};
            if (type >= 1 && type <= 10) {
                const std::string name = f.substr(d + 4, 32);
                extras.push_back(Extra{shownName(name.substr(0, name.find('\0'))), offset, type,
                                       (options & 24) != 0,
                                       options & 8 ? at<double>(f, d + 112) : 1.0,
                                       options & 16 ? at<double>(f, d + 136) : 0.0});
            }
            offset += bytes;
        }
    return extras;
}

double rawReal(const std::string &rec, const Extra &e)
{
    switch (e.type) {
    case 1: return at<uint8_t>(rec, e.offset);
    case 2: return at<int8_t>(rec, e.offset);
    case 3: return at<uint16_t>(rec, e.offset);
    case 4: return at<int16_t>(rec, e.offset);
    case 5: return at<uint32_t>(rec, e.offset);
    case 6: return at<int32_t>(rec, e.offset);
    case 7: return static_cast<double>(at<uint64_t>(rec, e.offset));
    case 8: return static_cast<double>(at<int64_t>(rec, e.offset));
    case 9: return at<float>(rec, e.offset);
    default: return at<double>(rec, e.offset);
    }
}

// The smallest %.*g precision that reads back to the value.
template <typename Real> void printShortest(FILE *o, Real v)
{
    char text[64];
    for (int p = 1; p <= 17; ++p) {
        std::snprintf(text, sizeof text, "%.*g", p, static_cast<double>(v));
        if (static_cast<Real>(std::strtod(text, nullptr)) == v || v != v)
            break;
    }
    std::fputs(text, o);
}

void printExtra(FILE *o, const std::string &rec, const Extra &e)
{
    if (e.scaled) {
        const double product = rawReal(rec, e) * e.scale;
        std::fprintf(o, " %.*f", decimals(e.scale), product + e.offset_);
        return;
    }
    std::fputc(' ', o);
    switch (e.type) {
    case 7:
        std::fprintf(o, "%llu", static_cast<unsigned long long>(at<uint64_t>(rec, e.offset)));
        return;
    case 8: std::fprintf(o, "%lld", static_cast<long long>(at<int64_t>(rec, e.offset))); return;
    case 9: printShortest(o, at<float>(rec, e.offset)); return;
    case 10: printShortest(o, at<double>(rec, e.offset)); return;
    default: std::fprintf(o, "%.0f", rawReal(rec, e));
    }
}

std::string header(int Format, int format, int minor)
{
    const bool ext = format >= 6, las10 = minor == 0;
    const FormatTable &t = FORMATS[format];
    static const char *const fixed[21] = {
        nullptr,
        "\"X\"",
        "\"Y\"",
        "\"Z\"",
        "\"Intensity\"",
        "\"ReturnNum\"",
        "\"NumReturns\"",
        "\"ScanDirection\"",
        "\"EdgeOfFlightLine\"",
        "\"Classification\"",
        nullptr,
        nullptr,
        nullptr,
        "\"GPSTime\"",
        "\"R\" \"G\" \"B\"",
        "\"X\" \"Y\" \"Z\"",
        "\"X\" \"Y\" \"Z\" \"Intensity\"",
        "\"X\" \"Y\" \"Z\" \"GPSTime\"",
        "\"X\" \"Y\" \"Z\" \"Intensity\" \"GPSTime\"",
        "\"X\" \"Y\" \"Z\" \"R\" \"G\" \"B\"",
        "\"X\" \"Y\" \"Z\" \"Intensity\" \"PointSourceID\" \"R\" \"G\" \"B\""};
    if (Format == 10)
        return ext ? "\"ScanAngle\"\n" : "\"ScanAngleRank\"\n";
    if (Format == 11)
        return las10 ? "\"FileMarker\"\n" : "\"UserData\"\n";
    if (Format == 12)
        return las10 ? "\"UserBitField\"\n" : "\"PointSourceID\"\n";
    if (Format != 0)
        return std::string(fixed[Format]) + "\n";
    std::string h =
        "\"X\" \"Y\" \"Z\" \"Intensity\" \"ReturnNum\" \"NumReturns\" \"ScanDirection\" "
        "\"EdgeOfFlightLine\" \"Class\" ";
    h += ext ? "\"ScanAngle\"" : "\"ScanAngleRank\"";
    h += las10 ? " \"FileMarker\" \"UserBitField\"" : " \"UserData\" \"PointSourceID\"";
    if (t.gps >= 0)
        h += " \"GPSTime\"";
    if (t.rgb >= 0)
        h += " \"Red\" \"Green\" \"Blue\"";
    if (t.nir >= 0)
        h += " \"NIR\"";
    if (ext)
        h += " \"ClassFlags\" \"ScannerChannel\"";
    return h + "\n";
}

bool serves(int Format, int format)
{
    if (Format == 13 || Format == 17 || Format == 18)
        return FORMATS[format].gps >= 0;
    if (Format == 14 || Format == 19 || Format == 20)
        return FORMATS[format].rgb >= 0;
    return true;
}

void line(FILE *o, int Format, const Point &p, int format, const int d[3], const std::string &rec,
          const std::vector<Extra> &extras)
{
    const bool ext = format >= 6;
    const FormatTable &t = FORMATS[format];
    switch (Format) {
    case 0:
        std::fprintf(o, "%.*f %.*f %.*f %d %d %d %d %d %d ", d[0], p.x, d[1], p.y, d[2], p.z,
                     p.intensity, p.ret, p.nret, p.dir, p.edge, p.cls);
        printAngle(o, p, ext);
        std::fprintf(o, " %d %d", p.user, p.psid);
        if (t.gps >= 0)
            std::fprintf(o, " %.7f", p.gps);
        if (t.rgb >= 0)
            std::fprintf(o, " %d %d %d", p.r, p.g, p.b);
        if (t.nir >= 0)
            std::fprintf(o, " %d", p.nir);
        if (ext)
            std::fprintf(o, " %d %d", p.flags, p.channel);
        for (const Extra &e : extras)
            printExtra(o, rec, e);
        std::fprintf(o, "\n");
        return;
    case 1: std::fprintf(o, "%.*f\n", d[0], p.x); return;
    case 2: std::fprintf(o, "%.*f\n", d[1], p.y); return;
    case 3: std::fprintf(o, "%.*f\n", d[2], p.z); return;
    case 4: std::fprintf(o, "%d\n", p.intensity); return;
    case 5: std::fprintf(o, "%d\n", p.ret); return;
    case 6: std::fprintf(o, "%d\n", p.nret); return;
    case 7: std::fprintf(o, "%d\n", p.dir); return;
    case 8: std::fprintf(o, "%d\n", p.edge); return;
    case 9: std::fprintf(o, "%d\n", p.cls); return;
    case 10:
        printAngle(o, p, ext);
        std::fprintf(o, "\n");
        return;
    case 11: std::fprintf(o, "%d\n", p.user); return;
    case 12: std::fprintf(o, "%d\n", p.psid); return;
    case 13: std::fprintf(o, "%.7f\n", p.gps); return;
    case 14: std::fprintf(o, "%d %d %d\n", p.r, p.g, p.b); return;
    case 15: std::fprintf(o, "%.*f %.*f %.*f\n", d[0], p.x, d[1], p.y, d[2], p.z); return;
    case 16:
        std::fprintf(o, "%.*f %.*f %.*f %d\n", d[0], p.x, d[1], p.y, d[2], p.z, p.intensity);
        return;
    case 17:
        std::fprintf(o, "%.*f %.*f %.*f %.7f\n", d[0], p.x, d[1], p.y, d[2], p.z, p.gps);
        return;
    case 18:
        std::fprintf(o, "%.*f %.*f %.*f %d %.7f\n", d[0], p.x, d[1], p.y, d[2], p.z, p.intensity,
                     p.gps);
        return;
    case 19:
        std::fprintf(o, "%.*f %.*f %.*f %d %d %d\n", d[0], p.x, d[1], p.y, d[2], p.z, p.r, p.g,
                     p.b);
        return;
    default:
        std::fprintf(o, "%.*f %.*f %.*f %d %d %d %d %d\n", d[0], p.x, d[1], p.y, d[2], p.z,
                     p.intensity, p.psid, p.r, p.g, p.b);
    }
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `body` with a temporary stream and returns what it printed.
template <typename F> std::string printed(F body)
{
    FILE *o = std::tmpfile();
    body(o);
    std::string text(static_cast<size_t>(std::ftell(o)), '\0');
    std::rewind(o);
    if (!text.empty() && std::fread(text.data(), 1, text.size(), o) != text.size())
        text.clear();
    std::fclose(o);
    return text;
}

} // namespace

std::string extendedReferencePoints(int Format, const std::string &lasPath)
{
    const std::string file = slurp(lasPath);
    const int minor = at<uint8_t>(file, 25), format = at<uint8_t>(file, 104);
    const size_t length = at<uint16_t>(file, 105), start = at<uint32_t>(file, 96);
    const double scale[3] = {at<double>(file, 131), at<double>(file, 139), at<double>(file, 147)};
    const double offset[3] = {at<double>(file, 155), at<double>(file, 163), at<double>(file, 171)};
    const int d[3] = {decimals(scale[0]), decimals(scale[1]), decimals(scale[2])};
    const std::vector<Extra> extras = Format == 0 ? extrasOf(file) : std::vector<Extra>{};
    return printed([&](FILE *o) {
        std::string head = header(Format, format, minor);
        head.pop_back();
        for (const Extra &e : extras)
            head += " \"" + e.name + "\"";
        std::fputs((head + "\n").c_str(), o);
        if (!serves(Format, format))
            return;
        // Extended VLRs, and waveforms stored in the file, follow the points.
        size_t end = file.size();
        if (minor >= 3 && (at<uint16_t>(file, 6) & 2) && at<uint64_t>(file, 227) > start)
            end = std::min<uint64_t>(end, at<uint64_t>(file, 227));
        if (minor >= 4 && at<uint32_t>(file, 243) > 0 && at<uint64_t>(file, 235) > start)
            end = std::min<uint64_t>(end, at<uint64_t>(file, 235));
        for (size_t r = start; r + length <= end; r += length)
            line(o, Format, decode(file.substr(r, length), format, scale, offset), format, d,
                 file.substr(r, length), extras);
    });
}

std::string extendedReferenceHeader(const std::string &lasPath)
{
    const std::string f = slurp(lasPath);
    const int minor = at<uint8_t>(f, 25), format = at<uint8_t>(f, 104);
    const double scale[3] = {at<double>(f, 131), at<double>(f, 139), at<double>(f, 147)};
    const int d[3] = {decimals(scale[0]), decimals(scale[1]), decimals(scale[2])};
    const auto text = [&f](size_t offset, size_t width) {
        const std::string field = f.substr(offset, width);
        return field.substr(0, field.find('\0'));
    };
    return printed([&](FILE *o) {
        std::fprintf(o, "GUID Data 1 :                      %u\n", at<uint32_t>(f, 8));
        std::fprintf(o, "GUID Data 2 :                      %d\n", at<uint16_t>(f, 12));
        std::fprintf(o, "GUID Data 3 :                      %d\n", at<uint16_t>(f, 14));
        std::fprintf(o, "GUID Data 4 :                      %s\n", text(16, 8).c_str());
        std::fprintf(o, "Version Major :                    %c\n", at<uint8_t>(f, 24) + 48);
        std::fprintf(o, "Version Minor :                    %c\n", minor + 48);
        std::fprintf(o, "System Identifier :                %s\n", text(26, 32).c_str());
        std::fprintf(o, "Generating Software :              %s\n", text(58, 32).c_str());
        std::fprintf(o,
                     minor == 0 ? "Flight Date Julian :               %d\n"
                                : "File Creation Day :                %d\n",
                     at<uint16_t>(f, 90));
        std::fprintf(o,
                     minor == 0 ? "Year :                             %d\n"
                                : "File Creation Year :               %d\n",
                     at<uint16_t>(f, 92));
        std::fprintf(o, "Header Size :                      %d\n", at<uint16_t>(f, 94));
        std::fprintf(o, "Offset to Data:                    %u\n", at<uint32_t>(f, 96));
        std::fprintf(o, "Number of Variable Length Records: %u\n", at<uint32_t>(f, 100));
        if (minor >= 3)
            std::fprintf(o, "Point Data Format ID:              %d\n", format);
        else
            std::fprintf(o, "Point Data Format ID:              %c\n", format + 48);
        std::fprintf(o, "Point Data Record Length:          %d\n", at<uint16_t>(f, 105));
        std::fprintf(o, "Number of Point Returns:           %u\n", at<uint32_t>(f, 107));
        std::fprintf(o, "Number Of Points By Return:\n");
        for (size_t i = 0; i < 5; ++i)
            std::fprintf(o, "                    Return %d       %u\n", static_cast<int>(i) + 1,
                         at<uint32_t>(f, 111 + 4 * i));
        const char *labels[12] = {
            "X Scale Factor:   ", "Y Scale Factor:   ", "Z Scale Factor:   ", "X Offset :        ",
            "Y Offset :        ", "Z Offset :        ", "X min :           ", "X max :           ",
            "Y min :           ", "Y max :           ", "Z min :           ", "Z max :           "};
        const size_t where[12] = {131, 139, 147, 155, 163, 171, 187, 179, 203, 195, 219, 211};
        for (int i = 0; i < 12; ++i)
            std::fprintf(o, "%s           %12.*f\n", labels[i], d[i < 6 ? i % 3 : (i - 6) / 2],
                         at<double>(f, where[i]));
        if (minor >= 3)
            std::fprintf(o, "Start of Waveform Data:            %llu\n",
                         static_cast<unsigned long long>(at<uint64_t>(f, 227)));
        if (minor >= 4) {
            std::fprintf(o, "Start of first EVLR:               %llu\n",
                         static_cast<unsigned long long>(at<uint64_t>(f, 235)));
            std::fprintf(o, "Number of EVLRs:                   %u\n", at<uint32_t>(f, 243));
            std::fprintf(o, "Number of Point Records:           %llu\n",
                         static_cast<unsigned long long>(at<uint64_t>(f, 247)));
            std::fprintf(o, "Number Of Points By Return (64-bit):\n");
            for (size_t i = 0; i < 15; ++i)
                std::fprintf(o, "                    Return %d       %llu\n",
                             static_cast<int>(i) + 1,
                             static_cast<unsigned long long>(at<uint64_t>(f, 255 + 8 * i)));
        }
        if (minor >= 5) {
            std::fprintf(o, "Max GPS Time:                      %12.6f\n", at<double>(f, 375));
            std::fprintf(o, "Min GPS Time:                      %12.6f\n", at<double>(f, 383));
            std::fprintf(o, "Time Offset:                       %d\n", at<uint16_t>(f, 391));
        }
    });
}
