// The printed forms of the sensor figures, for diagraw-probe's pair, ptc,
// defects and fields commands and the module's diagraw.analysis: an
// aligned table, one JSON object, or CSV.
//
// The JSON keeps the layout of `stats`: {"fields": [{"field": 0, "colours":
// {"red": {...}, "green": {...}, "blue": {...}}}, {"field": 1, ...}]}, with
// an "area" object as `stats --area` has it when an area was given; a
// figure that has no value is null. The CSV is one header line and one line
// per channel (pair, fields), per point of each channel (ptc) or per defect
// (defects).
#pragma once

#include "probe/AreaSamples.h"
#include "sensor/FieldComparison.h"
#include "sensor/FramePair.h"
#include "sensor/PhotonTransfer.h"
#include "sensor/StackFigures.h"

#include <array>
#include <string>
#include <vector>

class CJsonWriter;

enum class ReportForm : uint8_t { Table, Json, Csv };

// What the figures were taken over: the area (null for the whole fields)
// and the cells and samples it shows.
struct AnalysedSamples
{
    const ImageArea* area = nullptr;
    const SampleSelection* selection = nullptr;
};

std::string PairReport(const ChannelPairFigures& figures, const AnalysedSamples& samples, ReportForm form);

std::string FieldsReport(const ColourFieldPairFigures& figures, const AnalysedSamples& samples, ReportForm form);

// One PtcFigures per channel.
std::string PtcReport(const std::array<PtcFigures, kChannels>& figures, const AnalysedSamples& samples,
                      ReportForm form);

// The figures of a stack of darks or flats; with flats, darks (null
// without) gives PRNU its dark reference and adds its defects to the list.
// gain (DN per electron, 0 when unknown) turns DSNU into electrons.
struct DefectsInput
{
    const StackFigures* darks = nullptr;
    const StackFigures* flats = nullptr;
    double gain = 0.0;
};
std::string DefectsReport(const DefectsInput& input, const AnalysedSamples& samples, ReportForm form);

// The keys of one defect in the JSON (inside its object): kind, field, row,
// column, cell_row, cell_column, x, y (null for a cell no pixel shows),
// mean and excess (null where it has no value). diagraw-view serves them so.
void DefectKeys(CJsonWriter& json, const Defect& defect);
