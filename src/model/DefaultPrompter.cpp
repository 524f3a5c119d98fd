// The prompter of a run without a window: what it would say goes to the trace.
#include "platform/Prompter.h"

#include "model/Trace.h"

void DefaultPrompter::Message(const std::string& text, MsgIcon) {
    WriteTrace(text);
}

Answer DefaultPrompter::Ask(const std::string& text, MsgIcon, bool allowCancel) {
    WriteTrace(text);
    return allowCancel ? Answer::Cancel : Answer::No;
}
