// fprintf transcription of the point text and header report: slow, plain,
// and written straight from the column tables, so it can judge the tool.
#include "reference_writer.h"

#include <cstring>

namespace
{

struct Values {
    int X, Y, Z;
    int Intensity, bits, Classification, ScanAngleRank, UserData, PointSourceID;
    double GPSTime;
    int Red, Green, Blue;
};

template <typename R> void common(const R &p, Values &v)
{
    v.X = p.X, v.Y = p.Y, v.Z = p.Z;
    v.Intensity = p.Intensity, v.bits = p.bitfield, v.Classification = p.Classification;
    v.ScanAngleRank = p.ScanAngleRank;
}
void tail(const LAS10fm0 &p, Values &v)
{
    v.UserData = p.FileMarker, v.PointSourceID = p.UserBitField;
}
void tail(const LAS10fm1 &p, Values &v)
{
    v.UserData = p.FileMarker, v.PointSourceID = p.UserBitField;
}
template <typename R> void tail(const R &p, Values &v)
{
    v.UserData = p.UserData, v.PointSourceID = p.PointSourceID;
}
template <typename R> void gps(const R &p, Values &v)
{
    v.GPSTime = p.GPSTime;
}
template <typename R> void rgb(const R &p, Values &v)
{
    v.Red = p.Red, v.Green = p.Green, v.Blue = p.Blue;
}

template <typename R> bool readAs(FILE *f, Values &v, bool hasGps, bool hasRgb)
{
    R p;
    if (std::fread(&p, sizeof p, 1, f) != 1)
        return false;
    common(p, v);
    tail(p, v);
    if constexpr (requires { p.GPSTime; })
        if (hasGps)
            gps(p, v);
    if constexpr (requires { p.Red; })
        if (hasRgb)
            rgb(p, v);
    return true;
}

bool readRecord(FILE *f, int16_t t, Values &v)
{
    v = Values{};
    switch (t) {
    case 1: return readAs<LAS10fm0>(f, v, false, false);
    case 2: return readAs<LAS10fm1>(f, v, true, false);
    case 3: return readAs<LAS11fm0>(f, v, false, false);
    case 4: return readAs<LAS11fm1>(f, v, true, false);
    case 5: return readAs<LAS12fm0>(f, v, false, false);
    case 6: return readAs<LAS12fm1>(f, v, true, false);
    case 7: return readAs<LAS12fm2>(f, v, false, true);
    default: return readAs<LAS12fm3>(f, v, true, true);
    }
}

void headerLine(int Format, int16_t t, FILE *o)
{
    static const char *const fixed[21] = {
        nullptr,
        "\"X\"\n",
        "\"Y\"\n",
        "\"Z\"\n",
        "\"Intensity\"\n",
        "\"ReturnNum\"\n",
        "\"NumReturns\"\n",
        "\"ScanDirection\"\n",
        "\"EdgeOfFlightLine\"\n",
        "\"Classification\"\n",
        "\"ScanAngleRank\"\n",
        nullptr,
        nullptr,
        "\"GPSTime\"\n",
        "\"R\" \"G\" \"B\"\n",
        "\"X\" \"Y\" \"Z\"\n",
        "\"X\" \"Y\" \"Z\" \"Intensity\"\n",
        "\"X\" \"Y\" \"Z\" \"GPSTime\"\n",
        "\"X\" \"Y\" \"Z\" \"Intensity\" \"GPSTime\"\n",
        "\"X\" \"Y\" \"Z\" \"R\" \"G\" \"B\"\n",
        "\"X\" \"Y\" \"Z\" \"Intensity\" \"PointSourceID\" \"R\" \"G\" \"B\"\n"};
    if (Format == 11) {
        std::fprintf(o, t <= 2 ? "\"FileMarker\"\n" : "\"UserData\"\n");
    } else if (Format == 12) {
        std::fprintf(o, t <= 2 ? "\"UserBitField\"\n" : "\"PointSourceID\"\n");
    } else if (Format != 0) {
        std::fprintf(o, "%s", fixed[Format]);
    } else {
        std::fprintf(o, "\"X\" \"Y\" \"Z\" \"Intensity\" \"ReturnNum\" \"NumReturns\" ");
        std::fprintf(o, "\"ScanDirection\" \"EdgeOfFlightLine\" \"Class\" \"ScanAngleRank\" ");
        static const char *const tails[9] = {
            "",
            "\"FileMarker\" \"UserBitField\"\n",
            "\"FileMarker\" \"UserBitField\" \"GPSTime\"\n",
            "\"UserData\" \"PointSourceID\"\n",
            "\"UserData\" \"PointSourceID\" \"GPSTime\"\n",
            "\"UserData\" \"PointSourceID\"\n",
            "\"UserData\" \"PointSourceID\" \"GPSTime\"\n",
            "\"UserData\" \"PointSourceID\" \"Red\" \"Green\" \"Blue\"\n",
            "\"UserData\" \"PointSourceID\" \"GPSTime\" \"Red\" \"Green\" \"Blue\"\n"};
        std::fprintf(o, "%s", tails[t]);
    }
}

} // namespace

bool referenceServes(int Format, int16_t t)
{
    if (Format == 13 || Format == 17 || Format == 18)
        return t % 2 == 0;
    if (Format == 14 || Format == 19 || Format == 20)
        return t >= 7;
    return true;
}

void referenceWritePoints(int Format, int16_t t, FILE *fin, FILE *o, const LAS12Header *h, int dx,
                          int dy, int dz)
{
    headerLine(Format, t, o);
    if (!referenceServes(Format, t))
        return;
    Values v;
    while (readRecord(fin, t, v)) {
        double x = v.X * h->XScaleFactor;
        x = x + h->XOffset;
        double y = v.Y * h->YScaleFactor;
        y = y + h->YOffset;
        double z = v.Z * h->ZScaleFactor;
        z = z + h->ZOffset;
        const int ret = v.bits & 7, nret = (v.bits >> 3) & 7, dir = (v.bits >> 6) & 1,
                  edge = (v.bits >> 7) & 1;
        switch (Format) {
        case 0:
            std::fprintf(o, "%.*f %.*f %.*f %d %d %d %d %d %d", dx, x, dy, y, dz, z, v.Intensity,
                         ret, nret, dir, edge, v.Classification);
            std::fprintf(o, " %d", v.ScanAngleRank);
            if (t == 1 || t == 3 || t == 5) {
                std::fprintf(o, " %d %d\n", v.UserData, v.PointSourceID);
            } else if (t == 2 || t == 4 || t == 6) {
                std::fprintf(o, " %d %d", v.UserData, v.PointSourceID);
                std::fprintf(o, " %.7f\n", v.GPSTime);
            } else if (t == 7) {
                std::fprintf(o, " %d %d", v.UserData, v.PointSourceID);
                std::fprintf(o, " %d %d %d\n", v.Red, v.Green, v.Blue);
            } else {
                std::fprintf(o, " %d %d", v.UserData, v.PointSourceID);
                std::fprintf(o, " %.7f", v.GPSTime);
                std::fprintf(o, " %d %d %d\n", v.Red, v.Green, v.Blue);
            }
            break;
        case 1: std::fprintf(o, "%.*f\n", dx, x); break;
        case 2: std::fprintf(o, "%.*f\n", dy, y); break;
        case 3: std::fprintf(o, "%.*f\n", dz, z); break;
        case 4: std::fprintf(o, "%d\n", v.Intensity); break;
        case 5: std::fprintf(o, "%d\n", ret); break;
        case 6: std::fprintf(o, "%d\n", nret); break;
        case 7: std::fprintf(o, "%d\n", dir); break;
        case 8: std::fprintf(o, "%d\n", edge); break;
        case 9: std::fprintf(o, "%d\n", v.Classification); break;
        case 10: std::fprintf(o, "%d\n", v.ScanAngleRank); break;
        case 11: std::fprintf(o, "%d\n", v.UserData); break;
        case 12: std::fprintf(o, "%d\n", v.PointSourceID); break;
        case 13: std::fprintf(o, "%.7f\n", v.GPSTime); break;
        case 14: std::fprintf(o, "%d %d %d\n", v.Red, v.Green, v.Blue); break;
        case 15: std::fprintf(o, "%.*f %.*f %.*f\n", dx, x, dy, y, dz, z); break;
        case 16: std::fprintf(o, "%.*f %.*f %.*f %d\n", dx, x, dy, y, dz, z, v.Intensity); break;
        case 17: std::fprintf(o, "%.*f %.*f %.*f %.7f\n", dx, x, dy, y, dz, z, v.GPSTime); break;
        case 18:
            std::fprintf(o, "%.*f %.*f %.*f %d %.7f\n", dx, x, dy, y, dz, z, v.Intensity,
                         v.GPSTime);
            break;
        case 19:
            std::fprintf(o, "%.*f %.*f %.*f %d %d %d\n", dx, x, dy, y, dz, z, v.Red, v.Green,
                         v.Blue);
            break;
        default:
            std::fprintf(o, "%.*f %.*f %.*f %d %d %d %d %d\n", dx, x, dy, y, dz, z, v.Intensity,
                         v.PointSourceID, v.Red, v.Green, v.Blue);
            break;
        }
    }
}

void referenceWriteHeader(FILE *o, const LAS12Header *h, int16_t Type, int dx, int dy, int dz)
{
    char guid4[9] = {}, system[33] = {}, software[33] = {};
    std::memcpy(guid4, h->GUIDData4, 8);
    std::memcpy(system, h->SystemIdentifier, 32);
    std::memcpy(software, h->GeneratingSoftware, 32);
    std::fprintf(o, "GUID Data 1 :                      %lu\n", (unsigned long)h->GUIDData1);
    std::fprintf(o, "GUID Data 2 :                      %d\n", h->GUIDData2);
    std::fprintf(o, "GUID Data 3 :                      %d\n", h->GUIDData3);
    std::fprintf(o, "GUID Data 4 :                      %s\n", guid4);
    std::fprintf(o, "Version Major :                    %c\n", h->VersionMajor + 48);
    std::fprintf(o, "Version Minor :                    %c\n", h->VersionMinor + 48);
    std::fprintf(o, "System Identifier :                %s\n", system);
    std::fprintf(o, "Generating Software :              %s\n", software);
    if (Type <= 2) {
        std::fprintf(o, "Flight Date Julian :               %d\n", h->FileCreationDay);
        std::fprintf(o, "Year :                             %d\n", h->FileCreationYear);
    } else {
        std::fprintf(o, "File Creation Day :                %d\n", h->FileCreationDay);
        std::fprintf(o, "File Creation Year :               %d\n", h->FileCreationYear);
    }
    std::fprintf(o, "Header Size :                      %d\n", h->HeaderSize);
    std::fprintf(o, "Offset to Data:                    %lu\n", (unsigned long)h->OffsetToData);
    std::fprintf(o, "Number of Variable Length Records: %lu\n",
                 (unsigned long)h->NumberOfVariableLengthRecords);
    std::fprintf(o, "Point Data Format ID:              %c\n", h->PointDataFormatID + 48);
    std::fprintf(o, "Point Data Record Length:          %d\n", h->PointDataRecordLength);
    std::fprintf(o, "Number of Point Returns:           %lu\n",
                 (unsigned long)h->NumberOfPointReturns);
    std::fprintf(o, "Number Of Points By Return:\n");
    for (int i = 0; i < 5; ++i)
        std::fprintf(o, "                    Return %d       %lu\n", i + 1,
                     (unsigned long)h->NumberOfPointsByReturn[i]);
    std::fprintf(o, "X Scale Factor:              %12.*f\n", dx, h->XScaleFactor);
    std::fprintf(o, "Y Scale Factor:              %12.*f\n", dy, h->YScaleFactor);
    std::fprintf(o, "Z Scale Factor:              %12.*f\n", dz, h->ZScaleFactor);
    std::fprintf(o, "X Offset :                   %12.*f\n", dx, h->XOffset);
    std::fprintf(o, "Y Offset :                   %12.*f\n", dy, h->YOffset);
    std::fprintf(o, "Z Offset :                   %12.*f\n", dz, h->ZOffset);
    std::fprintf(o, "X min :                      %12.*f\n", dx, h->MinX);
    std::fprintf(o, "X max :                      %12.*f\n", dx, h->MaxX);
    std::fprintf(o, "Y min :                      %12.*f\n", dy, h->MinY);
    std::fprintf(o, "Y max :                      %12.*f\n", dy, h->MaxY);
    std::fprintf(o, "Z min :                      %12.*f\n", dz, h->MinZ);
    std::fprintf(o, "Z max :                      %12.*f\n", dz, h->MaxZ);
}
