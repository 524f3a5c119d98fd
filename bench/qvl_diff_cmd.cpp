// qvl-diff LEFT RIGHT [--ignore-case] [--ignore TEXT]...
//
// Compares two files with the program's line diff engine and prints the
// numbered text report to standard output (LF line ends). Exit status: 0
// the files are the same, 1 they differ, 2 trouble (a file that could not
// be read, or changed while it was read, included).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "compare/TextDiff.h"
#include "platform/Prompter.h"

namespace {
int Usage() {
    std::fprintf(stderr, "usage: qvl-diff LEFT RIGHT [--ignore-case] [--ignore TEXT]...\n");
    return 2;
}

int Run(int argc, char** argv) {
    StderrPrompter prompter;
    SetPrompter(&prompter);
    CDiffOptions options;
    std::vector<std::string> files;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--ignore-case") {
            options.ignoreCase = true;
        } else if (arg == "--ignore") {
            if (k + 1 >= argc) return Usage();
            options.ignoreText = true;
            options.ignoreList.push_back(argv[++k]);
        } else if (arg == "--") {
            for (++k; k < argc; ++k) files.push_back(argv[k]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return Usage();

    // The left file is read as one block; the right one, where lines are
    // compared as their bytes, a piece at a time as its lines are numbered.
    CTextDiff diff(options);
    if (!diff.CompareFiles(files[0], files[1])) return 2;
    // The report is written as it is laid out, a piece at a time, with LF
    // line ends, never held whole.
    bool failed = false;
    const bool differ = diff.ListChanges(
        [&](std::string_view piece) { return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size(); },
        &failed, "\n");
    if (failed || std::fflush(stdout) != 0) return 2;
    // Everything is written: leave without taking the inputs apart line by line.
    std::_Exit(differ ? 1 : 0);
}
}  // namespace

// Nothing thrown ends it without its status: trouble is 2.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "There is not enough memory to compare the files.\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 2;
}
