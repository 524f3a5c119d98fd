#include "model/SessionReport.h"

#include "model/KeyValue.h"
#include "model/Session.h"

void CSessionReport::SetDefaultColumns() {
    ReportCopy = ReportDump = ReportUseLocalDir = ReportCompFiles = ReportDumpDiffs = true;
    Columns.clear();
    static const char* names[] = {"Local directory",         "Remote directory",
                                  "File name",               "Local modification time",
                                  "Local creation time",     "Local type",
                                  "Tansfer status"};
    for (const char* n : names) Columns.push_back({0, std::string(n) == "File name", n});
}

bool CSessionReport::ReadSpecs(std::istream& in, const std::string& endMarker, size_t* damaged) {
    std::string line;
    while (ReadLine(in, line)) {
        if (line.find(endMarker) != std::string::npos) return true;
        if (damaged && !CheckRecordKeys(line, 0, {"GutterVal=", "IsIncluded=", "OptionName="}).empty())
            ++*damaged;
        ReportColumnOption col;
        col.GutterVal = ParseInt(GetKeyValue(line, "GutterVal="));
        col.IsIncluded = GetKeyValue(line, "IsIncluded=") == "Yes";
        col.OptionName = GetTextValue(line, "OptionName=");
        Columns.push_back(std::move(col));
    }
    return false;
}

void CSessionReport::WriteSpecs(std::ostream& out, const std::string& beginMarker,
                                const std::string& endMarker) const {
    out << beginMarker << "\n";
    for (const auto& c : Columns)
        out << "GutterVal=" << c.GutterVal << ", " << "IsIncluded=" << YesNo(c.IsIncluded) << ", "
            << "OptionName=" << StoredText(c.OptionName) << ", " << "\n";
    out << endMarker << Columns.size() << "\n";
}
