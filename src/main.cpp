#include <string>

#include "convert/Startup.h"

#ifdef QVL_HAVE_UI
#include "app/QuorvellianApp.h"
#endif

int main(int argc, char** argv) {
    // Any argument runs the batch job without a display, an empty one too;
    // decided before any GUI object exists.
    if (argc > 1) return RunCommandLineRoad(JoinCommandLine(argc, argv));
#ifdef QVL_HAVE_UI
    return RunWindowRoad(argc, argv);
#else
    return 0;
#endif
}
