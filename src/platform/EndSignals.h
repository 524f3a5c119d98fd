// The end signals of the window road: SIGTERM, SIGHUP and SIGINT.
#pragma once

// Installs the handlers. Each signal is written into a pipe whose read end
// the window watches in its event loop. The first signal is the request to
// end; any other signal after it is the same request and is ignored, so that
// a logout's TERM and HUP save once. Only a repeat of the first signal after
// the close has begun saving ends the program at once. Returns the pipe's
// read end, or -1 when no pipe could be made.
int InstallEndSignals();
// Empties the pipe (the GUI thread, after it was woken).
void DrainEndSignals();
// The window's close has begun (true) or was given up (false).
void NoteCloseBegun(bool begun);
