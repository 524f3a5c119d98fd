// What a previewed conversion found: one record per input, one instance per match.
#pragma once

#include <string>
#include <vector>

class CFindRepInstance {
public:
    std::string FindText;   // the matched text
    std::string LineText;   // the match's line, LF as "\n", TAB as "\t", CR dropped
    std::string RepText;    // the replacement; the user may edit it
    int InstanceNo = 0;
    int LineNo = 0;
    int Offset = 0;         // offset in the text as converted so far
    int Position = 0;       // offset in the unconverted text
    int PrevPosition = 0;
    int MacroIndex = 0;
    int StepNo = 0;
    int Start = 0;
    int End = 0;
    int RepLength = 0;
    unsigned char Skip = 0;
    unsigned char Changed = 0;
    int ImageNo = 6;
    int KeepSteps = 0;
};

class CFindRepPreview {
public:
    std::string InputName;
    std::string OutputName;
    std::string Mode;
    std::vector<CFindRepInstance> Instances;
    unsigned char Flag1 = 0;
    unsigned char Flag2 = 0;
    int MacroIndex = 0;
    int StepNo = 0;
    unsigned char NoInstances = 0;
    unsigned char KeepSteps = 0;
    std::vector<std::string> StepTexts;
};
