// The stop commands of the main window and the auto-sync switch. They only
// raise break flags; the workers notice them and end themselves, and a kind
// becomes idle again when its worker's end routine runs.
#pragma once

// "Stop FTP (Break)": only while an FTP worker runs. Turns auto-sync off
// ("Auto-sync off.") when it was on. True when it acted.
bool OnStopFtp();

// "Stop text conversion (Break)": only while a conversion runs.
bool OnStopTextConversion();

// Raises the conversion break flag; "---Conversion aborted-(0)---" when one
// was running. Also called by other commands.
void StopTextConversion();

// "Stop all threads": conversion, FTP, batch conversion, a diff being
// built, and always the add-files worker.
void OnStopAllThreads();

// "Auto sync to remote": toggles auto-sync and says so.
void OnAutoSyncToRemote();
