// Remote execution of a command file item: a wrapper procedure and the
// command file go to the host by FTP, the wrapper runs through rexec, and
// what it printed is shown in the Input window.
#pragma once

#include <string>
#include <vector>

#include "model/FileItem.h"

class CProgramData;

// The values of the one remote build that may run at a time.
struct RemoteBuildValues {
    std::string scriptLocalPath;   // the wrapper in the work-area root
    std::string scriptRemoteName;  // its name on the host
    std::string fileName;          // the command file's name
    std::string localPath;         // LocalDir + FileName
    std::string remotePath;        // RemoteDir + FileName
    std::string hostType;          // "UNIX" or "VMS"
    std::string host, user;
    CFileItem item;                // the command file item
};

// "UNIX" when the folder holds "/", else "VMS" when it holds "]" after its
// first character, else "".
std::string RemoteHostTypeOf(const std::string& remoteDir);

// "Run bat file" (window thread): checks the first selected item, writes the
// wrapper and starts the worker. Each refusal is a message; false when
// nothing was started (the FTP slot is free again).
bool StartRemoteBuild(CProgramData& data, int project, int session, int basket,
                      const std::vector<int>& selection);
// Store, run, clean up. The worker body's middle part; fills result with the
// command file's transfer result.
void ExecuteRemoteCommandFile(CProgramData& data, RemoteBuildValues& values, std::string& output,
                              CFileItem& result);
// The output as the Input window shows it (CR LF line ends).
std::string FinishRemoteBuild(const std::string& output);
// Six tones when sounds are on.
void BeepRemoteBuildDone();
