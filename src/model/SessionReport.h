// The report settings the program data carries: five switches and the
// report columns, with their section of the master data file.
//
// This is the part the stored files need. The report engine (value lists,
// basket comparison) extends this class; ReadSpecs and WriteSpecs are the
// one place where the section's lines are read and written.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

struct ReportColumnOption {
    int GutterVal = 0;
    bool IsIncluded = false;
    std::string OptionName;
};

class CSessionReport {
public:
    bool ReportCopy = true;
    bool ReportDump = true;
    std::vector<ReportColumnOption> Columns;
    bool ReportUseLocalDir = true;
    bool ReportCompFiles = true;
    bool ReportDumpDiffs = true;

    // The five switches on and the seven default columns.
    void SetDefaultColumns();
    // Reads the section's body up to the line holding the end marker.
    // False when the stream ends before the end marker.
    // With `damaged`, the column lines whose keys are not the writer's are
    // counted there.
    bool ReadSpecs(std::istream& in, const std::string& endMarker, size_t* damaged = nullptr);
    void WriteSpecs(std::ostream& out, const std::string& beginMarker, const std::string& endMarker) const;
    bool HasColumns() const { return !Columns.empty(); }
};
