// TREVLIN: the header report <name>_hdr.asc, one labelled value per line.
#include "header_report.h"

#include "coordinate_precision.h"
#include "number_text.h"
#include "platform.h"

#include <cstring>

namespace
{

void appendUnsigned(std::string &text, const char *label, uint64_t value)
{
    char digits[MAX_INT_TEXT];
    text += label;
    text.append(digits, put_uint(digits, value));
    text += LINE_END;
}

// Character fields are NUL-terminated only when shorter than their width.
void appendBounded(std::string &text, const char *label, const void *field, size_t width)
{
    const char *chars = static_cast<const char *>(field);
    const void *nul = std::memchr(chars, 0, width);
    const size_t n = nul ? static_cast<size_t>(static_cast<const char *>(nul) - chars) : width;
    text += label;
    text.append(chars, n);
    text += LINE_END;
}

// Version and format bytes print as one character: the value plus '0'.
void appendDigitChar(std::string &text, const char *label, uint8_t value)
{
    text += label;
    text += static_cast<char>(static_cast<unsigned char>(value + 48));
    text += LINE_END;
}

void appendReal(std::string &text, const char *label, double value, int decimals)
{
    char number[MAX_FIXED_TEXT];
    text += label;
    text.append(number, put_fixed_width(number, value, decimals, 12));
    text += LINE_END;
}

std::string returnLabel(int i)
{
    return "                    Return " + std::to_string(i + 1) + "       ";
}

void appendIdentity(std::string &text, const LAS12Header *h, const RecordType &type)
{
    appendUnsigned(text, "GUID Data 1 :                      ", h->GUIDData1);
    appendUnsigned(text, "GUID Data 2 :                      ", h->GUIDData2);
    appendUnsigned(text, "GUID Data 3 :                      ", h->GUIDData3);
    appendBounded(text, "GUID Data 4 :                      ", h->GUIDData4, 8);
    appendDigitChar(text, "Version Major :                    ", h->VersionMajor);
    appendDigitChar(text, "Version Minor :                    ", h->VersionMinor);
    appendBounded(text, "System Identifier :                ", h->SystemIdentifier, 32);
    appendBounded(text, "Generating Software :              ", h->GeneratingSoftware, 32);
    // LAS 1.0 stores the flight's day and year where later versions store
    // the file's creation date.
    const bool las10 = isLas10(type);
    appendUnsigned(
        text, las10 ? "Flight Date Julian :               " : "File Creation Day :                ",
        h->FileCreationDay);
    appendUnsigned(
        text, las10 ? "Year :                             " : "File Creation Year :               ",
        h->FileCreationYear);
}

// 1.0-1.2 formats print as one character; the formats of LAS 1.3 and 1.4
// reach 10, which prints as a number.
// LAZ's compression bits are no part of the format printed.
void appendPointFormat(std::string &text, const LAS12Header *h, const RecordType &type)
{
    const char *label = "Point Data Format ID:              ";
    const uint8_t format = type.compressed ? type.PointFormat : h->PointDataFormatID;
    if (type.VersionMinor >= 3)
        appendUnsigned(text, label, format);
    else
        appendDigitChar(text, label, format);
}

void appendLayout(std::string &text, const LAS12Header *h, const RecordType &type)
{
    appendUnsigned(text, "Header Size :                      ", h->HeaderSize);
    appendUnsigned(text, "Offset to Data:                    ", h->OffsetToData);
    appendUnsigned(text, "Number of Variable Length Records: ", h->NumberOfVariableLengthRecords);
    appendPointFormat(text, h, type);
    appendUnsigned(text, "Point Data Record Length:          ", h->PointDataRecordLength);
    appendUnsigned(text, "Number of Point Returns:           ", h->NumberOfPointReturns);
    text += "Number Of Points By Return:";
    text += LINE_END;
    for (int i = 0; i < 5; ++i)
        appendUnsigned(text, returnLabel(i).c_str(), h->NumberOfPointsByReturn[i]);
}

void appendGeometry(std::string &text, const LAS12Header *h, const CoordinateDigits &d)
{
    appendReal(text, "X Scale Factor:              ", h->XScaleFactor, d.x);
    appendReal(text, "Y Scale Factor:              ", h->YScaleFactor, d.y);
    appendReal(text, "Z Scale Factor:              ", h->ZScaleFactor, d.z);
    appendReal(text, "X Offset :                   ", h->XOffset, d.x);
    appendReal(text, "Y Offset :                   ", h->YOffset, d.y);
    appendReal(text, "Z Offset :                   ", h->ZOffset, d.z);
    appendReal(text, "X min :                      ", h->MinX, d.x);
    appendReal(text, "X max :                      ", h->MaxX, d.x);
    appendReal(text, "Y min :                      ", h->MinY, d.y);
    appendReal(text, "Y max :                      ", h->MaxY, d.y);
    appendReal(text, "Z min :                      ", h->MinZ, d.z);
    appendReal(text, "Z max :                      ", h->MaxZ, d.z);
}

// What the headers of LAS 1.3, 1.4 and 1.5 add to the 227 bytes, after the
// lines of the older versions, labelled in the style of the first block.
void appendLaterFields(std::string &text, const LAS14Header *h, const RecordType &type)
{
    if (type.VersionMinor < 3)
        return;
    appendUnsigned(text, "Start of Waveform Data:            ", h->StartOfWaveformDataPacketRecord);
    if (type.VersionMinor < 4)
        return;
    appendUnsigned(
        text, "Start of first EVLR:               ", h->StartOfFirstExtendedVariableLengthRecord);
    appendUnsigned(text,
                   "Number of EVLRs:                   ", h->NumberOfExtendedVariableLengthRecords);
    appendUnsigned(text, "Number of Point Records:           ", h->NumberOfPointRecords);
    text += "Number Of Points By Return (64-bit):";
    text += LINE_END;
    for (int i = 0; i < 15; ++i)
        appendUnsigned(text, returnLabel(i).c_str(), h->NumberOfPointsByReturn[i]);
    if (type.VersionMinor < 5)
        return;
    // A LAS 1.5 header is read whole into a LAS15Header, whose first member
    // `h` is.
    const LAS15Header *whole = reinterpret_cast<const LAS15Header *>(h);
    appendReal(text, "Max GPS Time:                      ", whole->MaxGPSTime, 6);
    appendReal(text, "Min GPS Time:                      ", whole->MinGPSTime, 6);
    appendUnsigned(text, "Time Offset:                       ", whole->TimeOffset);
}

} // namespace

std::string headerReportText(const LAS14Header *h, const RecordType &type,
                             const CoordinateDigits &digits)
{
    std::string text;
    text.reserve(4096);
    appendIdentity(text, &h->Public, type);
    appendLayout(text, &h->Public, type);
    appendGeometry(text, &h->Public, digits);
    appendLaterFields(text, h, type);
    if (type.compressed) {
        text += "Compression:                       LAZ";
        text += LINE_END;
    }
    return text;
}

OutputOutcome prepareHeaderReport(const std::string &reportName, const LAS14Header *h,
                                  const RecordType &type, const CoordinateDigits &digits,
                                  OutputFile *report)
{
    const std::string text = headerReportText(h, type, digits);
    const OutputOutcome begun = beginOutput(report, reportName);
    if (begun != OUTPUT_DONE)
        return begun;
    const bool written = std::fwrite(text.data(), 1, text.size(), report->stream) == text.size();
    return closeOutput(report, written);
}

OutputOutcome writeHeaderReport(const std::string &reportName, const LAS14Header *h,
                                const RecordType &type, const CoordinateDigits &digits)
{
    OutputFile report;
    const OutputOutcome prepared = prepareHeaderReport(reportName, h, type, digits, &report);
    return prepared == OUTPUT_DONE ? placeOutput(&report) : prepared;
}
