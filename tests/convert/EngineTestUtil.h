// Small helpers shared by the engine tests.
#pragma once

#include <string>

#include "convert/ConversionEngine.h"
#include "convert/ConversionRun.h"
#include "model/Library.h"

// Flags of a test macro, in a readable form.
struct MacroFlags {
    bool matchCase = true, findWild = false, repWild = false, perLine = false;
    bool compConst = false, subFilter = false, delimParse = false, active = true;
};

inline CMacro MakeMacro(const std::string& find, const std::string& rep, MacroFlags f = {}) {
    return CMacro(find, rep, f.matchCase, f.findWild, f.repWild, f.perLine, f.compConst,
                  f.subFilter, f.delimParse, f.active);
}

inline MacroFlags Wild() {
    MacroFlags f;
    f.findWild = true;
    f.repWild = true;
    return f;
}

// A list with one default library holding the macros, ready to run.
inline CLibraryList OneLibrary(std::initializer_list<CMacro> macros) {
    CLibraryList list;
    CLibrary lib("test");
    for (const CMacro& m : macros) lib.MacroList.push_back(m);
    list.Append(lib);
    list.CurrentLibrary = 0;
    list.RunKind = 1;
    list.m_Run.nBatchStep = 0;
    return list;
}

inline std::string Convert(const CMacro& m, const std::string& text) {
    CLibraryList list = OneLibrary({m});
    return CConversionEngine(list).ConvertText(text);
}
