// TREVLIN: one input's conversion.
#include "conversion.h"

#include "coordinate_precision.h"
#include "extra_bytes.h"
#include "header_report.h"
#include "output_file.h"
#include "pipeline.h"
#include "platform.h"
#include "point_export.h"
#include "point_file.h"
#include "progress.h"

#include <cerrno>
#include <cstring>

namespace
{

// An output that could not be made whole, named, with the system's reason
// when it could not be created.
bool outputWhole(OutputOutcome outcome, const std::string &name)
{
    if (outcome == OUTPUT_DONE)
        return true;
    const int error = errno;
    std::printf(outputFailureMessage(outcome), name.c_str());
    if (outcome == OUTPUT_OPEN_FAILED && error != 0)
        reportToStandardError("TREVLIN: %s cannot be created: %s\n", name.c_str(),
                              std::strerror(error));
    return false;
}

// The records an input holds: what its point data can hold, or for LAZ
// what its chunks hold.
uint64_t recordsOf(const PointInput &in, const RecordType &type)
{
    if (!in.laz)
        return in.dataBytes / type.RecordLength;
    if (in.laz->sequential)
        return in.laz->sequencePoints;
    uint64_t records = 0;
    for (const LazChunk &chunk : in.laz->chunks)
        records += chunk.points;
    return records;
}

// The point text on standard output is whole once flushed. A reader that
// closed the pipe early (head) ends the run without a word, as every
// command of a pipeline does; any other failure is reported.
ConversionOutcome finishStandardOutput(FILE *stream, PointsOutcome outcome, int writeError)
{
    if (outcome == POINTS_WRITTEN && std::fflush(stream) == 0)
        return FILE_CONVERTED;
    if (outcome == POINTS_WRITTEN)
        writeError = errno;
    errno = writeError;
    if (brokenPipe())
        return RUN_BROKEN_PIPE;
    std::printf("\nFailed to write file %s\n", "(standard output)");
    return RUN_FAILED;
}

// What the point text of one input needs besides the records.
struct PointJob {
    int Format;
    const RecordType &type;
    const LAS14Header &h;
    CoordinateDigits digits;
    const ExtraColumns &extras;
    const LazFile *laz;
    ListPlace place;
    TextShape shape;
};

// Writes the point text of one input, with the progress line shown while
// it runs; the records converted go in *records.
ConversionOutcome writePointFile(const std::string &LASName, const std::string &LASNameASCII,
                                 FILE *fin, const PointJob &job, const ConversionSettings &settings,
                                 uint64_t *records, std::string *shortfall)
{
    OutputFile points;
    if (settings.pointStream)
        points.stream = settings.pointStream;
    else if (!outputWhole(beginOutput(&points, LASNameASCII), LASNameASCII))
        return RUN_FAILED;
    const LAS12Header *ph12 = &job.h.Public;
    PointInput in = pointInputOf(LASName.c_str(), fin, ph12, pointDataEnd(job.h, job.type));
    std::string damage;
    in.laz = job.laz, in.failure = &damage;
    progressStartFile(LASName, job.place.position, job.place.count, recordsOf(in, job.type));
    const PointsOutcome outcome =
        writePoints(job.Format, job.type, in, PointOutput{points.stream, settings.gzipLevel}, ph12,
                    job.digits, records, &job.extras, job.shape);
    const int writeError = errno;
    progressEndFile();
    if (outcome == POINTS_READ_FAILED || outcome == POINTS_OUT_OF_MEMORY ||
        outcome == POINTS_DECODE_FAILED) {
        if (!settings.pointStream)
            discardOutput(&points);
        if (outcome == POINTS_OUT_OF_MEMORY) {
            reportToStandardError("TREVLIN: out of memory\n");
            return RUN_FAILED;
        }
        if (outcome == POINTS_DECODE_FAILED)
            std::printf(lazRefusalMessage(LAZ_DAMAGED), LASName.c_str(), damage.c_str());
        else
            std::printf("\nFailed to read file %s\n", LASName.c_str());
        return FILE_REFUSED;
    }
    // LAZ points that end before the header says, or go on after it: why.
    if (outcome == POINTS_WRITTEN && !damage.empty())
        *shortfall = damage;
    if (settings.pointStream)
        return finishStandardOutput(settings.pointStream, outcome, writeError);
    return outputWhole(commitOutput(&points, outcome == POINTS_WRITTEN), LASNameASCII)
               ? FILE_CONVERTED
               : RUN_FAILED;
}

// A file cut short (an interrupted copy) or holding more than it says
// converts all the same, but the user converting thousands of tiles needs
// to hear of it, and of why when it is known.
void warnOfRecordCount(const std::string &LASName, const LAS14Header &h, const RecordType &type,
                       uint64_t records, const std::string &why)
{
    const uint64_t declared = declaredPointCount(h, type);
    if (records == declared && why.empty())
        return;
    reportToStandardError("TREVLIN: warning: %s holds %llu point records; its header declares "
                          "%llu%s%s\n",
                          LASName.c_str(), static_cast<unsigned long long>(records),
                          static_cast<unsigned long long>(declared), why.empty() ? "" : ": ",
                          why.c_str());
}

// Format 0's columns for the extra bytes of the input's records, as its
// Extra Bytes VLR describes them; a description that cannot be right is
// warned of and gives none.
ExtraColumns extraColumnsOfInput(FILE *fin, const std::string &LASName, const LAS14Header &h,
                                 const RecordType &type)
{
    if (extraBytesOf(type) == 0)
        return ExtraColumns{};
    std::string problem;
    ExtraColumns extras = extraColumnsOf(fin, h, type, &problem);
    if (!problem.empty())
        reportToStandardError("TREVLIN: warning: the Extra Bytes VLR of %s is not used: %s\n",
                              LASName.c_str(), problem.c_str());
    else if (extras.records > 1)
        reportToStandardError("TREVLIN: %s describes its extra bytes in %u Extra Bytes records; "
                              "their attributes are read in file order\n",
                              LASName.c_str(), extras.records);
    return extras;
}

void announceInput(const std::string &LASName, const OutputNames &names, ListPlace place,
                   const ConversionSettings &settings)
{
    if (!settings.quiet) {
        std::printf("Input LAS File:     %s\n", LASName.c_str());
        std::printf("Output ASCII File:  %s\n",
                    settings.pointStream ? "(standard output)" : names.points.c_str());
        if (place.position > 0)
            std::printf("%d / %d\n\n", place.position, place.count);
    }
    // What has been printed is out before the long part begins, so that an
    // interrupted run has shown everything it printed.
    flushStandardOutput();
}

// The header, the LAZ container and the extra bytes' description of an
// open input, read again at its turn: the file may have changed since.
struct OpenedInput {
    LAS15Header h;
    LazFile laz;
    ExtraColumns extras;
};

bool readOpenedInput(FILE *fin, const Input &input, int Format, const ConversionSettings &settings,
                     OpenedInput *o)
{
    const std::string &LASName = input.name;
    const RecordType &type = input.type;
    if (!readCheckedHeader(fin, LASName, type, settings.extended, &o->h))
        return false;
    if (type.compressed && !readCheckedLazContainer(fin, LASName, o->h.Base, type, &o->laz))
        return false;
    if (type.compressed && lazCompatibilityLayout(o->laz.layout))
        reportToStandardError("TREVLIN: %s stores LAS 1.4 points as point data format %d with "
                              "their LAS 1.4 fields in extra bytes (LASzip's compatibility "
                              "layout); they are converted as stored\n",
                              LASName.c_str(), type.PointFormat);
    if (Format == 0)
        o->extras = extraColumnsOfInput(fin, LASName, o->h.Base, type);
    return true;
}

ConversionOutcome convertOpened(FILE *fin, const Input &input, int Format, ListPlace place,
                                const ConversionSettings &settings, const OutputNames &names)
{
    const std::string &LASName = input.name;
    const RecordType &type = input.type;
    OpenedInput o;
    if (!readOpenedInput(fin, input, Format, settings, &o))
        return FILE_REFUSED;
    // The chosen columns were found in every input before the run began.
    std::vector<int> chosen;
    std::string unused;
    if (settings.columns)
        chooseColumns(settings.columns, type, &o.extras, &chosen, &unused);
    const TextShape shape{settings.columns ? &chosen : nullptr, settings.separator};
    o.laz.fields = lazFieldsOfFormat(settings.columns ? formatOfColumns(chosen) : Format);
    const LAS12Header *ph12 = &o.h.Base.Public;
    const CoordinateDigits digits = determineCoordinatePrecision(ph12);
    if (!seek_from_start(fin, ph12->OffsetToData)) {
        std::printf("\nCannot reach the point data of %s\n", LASName.c_str());
        return FILE_REFUSED;
    }
    // The report is written first but put in place only after the points,
    // so that a file whose points fail leaves no new report: the one from
    // before stays, as its point file does.
    OutputFile report;
    if (!outputWhole(prepareHeaderReport(names.report, &o.h.Base, type, digits, &report),
                     names.report))
        return RUN_FAILED;
    uint64_t records = 0;
    std::string shortfall = type.compressed ? o.laz.shortfall : std::string();
    const PointJob job{Format, type, o.h.Base, digits, o.extras, type.compressed ? &o.laz : nullptr,
                       place,  shape};
    const ConversionOutcome outcome =
        writePointFile(LASName, names.points, fin, job, settings, &records, &shortfall);
    if (outcome != FILE_CONVERTED) {
        discardOutput(&report);
        return outcome;
    }
    if (!outputWhole(placeOutput(&report), names.report))
        return RUN_FAILED;
    warnOfRecordCount(LASName, o.h.Base, type, records, shortfall);
    return FILE_CONVERTED;
}

} // namespace

ConversionOutcome convertFile(const Input &input, int Format, ListPlace place,
                              const ConversionSettings &settings)
{
    const std::string &LASName = input.name;
    FILE *fin = openInputFile(LASName.c_str());
    if (!fin) {
        std::printf("\nCannot open binary file %s for reading\n\n", LASName.c_str());
        return FILE_REFUSED;
    }
    const OutputNames names = outputNamesOf(LASName, settings.naming);
    announceInput(LASName, names, place, settings);
    const ConversionOutcome outcome = convertOpened(fin, input, Format, place, settings, names);
    std::fclose(fin);
    return outcome;
}
