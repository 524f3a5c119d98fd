#include <string>

#include "platform/Startup.h"

#ifdef QVL_HAVE_UI
#include "app/QuorvellianApp.h"
#endif

int main(int argc, char** argv) {
    // Any command line runs the batch job without a display; decided before
    // any GUI object exists.
    const std::string commandLine = JoinCommandLine(argc, argv);
    if (!commandLine.empty()) return RunCommandLineRoad(commandLine);
#ifdef QVL_HAVE_UI
    return RunWindowRoad(argc, argv);
#else
    return 0;
#endif
}
