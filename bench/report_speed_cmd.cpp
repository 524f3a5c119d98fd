// report-speed [baskets] [items] [runs]: times the basket comparison of the
// Report dialog over baskets of many items, and the column listing of a
// basket's items, on made-up baskets (no files are read).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "filelist/BasketComparison.h"
#include "filelist/FileListing.h"
#include "model/Globals.h"
#include "model/ProgramData.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
void Time(const char* what, int runs, F f) {
    std::vector<double> ms;
    std::size_t size = 0;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        size = f().size();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::printf("%-58s median %8.1f ms  max %8.1f ms  (%zu bytes of report)\n", what, Median(ms),
                *std::max_element(ms.begin(), ms.end()), size);
}

}  // namespace

int main(int argc, char** argv) {
    const int baskets = argc > 1 ? std::atoi(argv[1]) : 5;
    const int items = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    CProgramData d;
    d.InsertProject("Bench", 0);
    d.InsertSession("Bench", 0, 0);
    std::vector<int> all;
    for (int b = 0; b < baskets; ++b) {
        d.InsertBasket("Basket " + std::to_string(b + 1), 0, 0, b);
        all.push_back(b);
        auto* list = d.ClearBasketItems(0, 0, b);
        list->reserve(std::size_t(items));
        for (int i = 0; i < items; ++i) {
            // Every basket has its own root; one item in fifty differs per basket.
            CFileItem it(i % 50 == b ? "only" + std::to_string(b) + "-" + std::to_string(i) + ".txt"
                                     : "file" + std::to_string(i) + ".c");
            // A hundredth of the items lie in the root folder itself, the others in 99 folders below it.
            const std::string sub = i % 100 == 0 ? std::string() : "dir" + std::to_string(i % 100) + "/";
            it.LocalDir = "/bench/root" + std::to_string(b) + "/" + sub;
            it.RemoteDir = "/srv/root" + std::to_string(b) + "/" + sub;
            list->push_back(std::move(it));
        }
    }
    std::printf("%d baskets of %d items, %d runs\n", baskets, items, runs);
    CSessionReport report;
    report.SetDefaultColumns();
    CBasketComparison work;
    g_bDiffReportInter = false;
    Time("basket comparison (local trees)", runs, [&] { return CompareSelectedBaskets(d, report, work, 0, 0, all); });
    g_bDiffReportInter = true;
    Time("basket comparison with the add/delete trail", runs,
         [&] { return CompareSelectedBaskets(d, report, work, 0, 0, all); });
    g_bDiffReportInter = false;
    g_bDiffIgnoreCase = true;
    Time("basket comparison ignoring letter case", runs,
         [&] { return CompareSelectedBaskets(d, report, work, 0, 0, all); });
    g_bDiffIgnoreCase = false;

    std::vector<int> sel(static_cast<std::size_t>(items), 0);
    for (int i = 0; i < items; ++i) sel[std::size_t(i)] = i;
    Time("column listing of one basket (default columns)", runs,
         [&] { return ListFileItems(d, report, 0, 0, 0, sel); });
    for (auto& c : report.Columns)
        if (c.OptionName == "Local directory" || c.OptionName == "Remote directory" ||
            c.OptionName == "Local type") {
            c.IsIncluded = true;
            c.GutterVal = 2;
        }
    Time("column listing, four columns with gutters", runs,
         [&] { return ListFileItems(d, report, 0, 0, 0, sel); });
    return 0;
}
