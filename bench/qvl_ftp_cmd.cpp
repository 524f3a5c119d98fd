// qvl-ftp: moves one file or lists one folder with the program's FTP client.
//   qvl-ftp get|put HOST PORT USER PASSWORD REMOTE-PATH LOCAL-PATH [ascii]
//   qvl-ftp list HOST PORT USER PASSWORD REMOTE-FOLDER
// Exits non-zero with the reason on stderr when the step fails.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "remote/FtpClient.h"

static int Usage() {
    std::fprintf(stderr,
                 "usage: qvl-ftp get|put HOST PORT USER PASSWORD REMOTE-PATH LOCAL-PATH [ascii]\n"
                 "       qvl-ftp list HOST PORT USER PASSWORD REMOTE-FOLDER\n");
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 7) return Usage();
    const std::string verb = argv[1];
    const std::string host = argv[2];
    const int port = std::atoi(argv[3]);
    const std::string user = argv[4], password = argv[5], remote = argv[6];
    if (port <= 0 || port > 65535) return Usage();
    CFtpClient client;
    try {
        client.Connect(host, user, password, port);
        if (verb == "get" || verb == "put") {
            if (argc < 8 || argc > 9) return Usage();
            const std::string local = argv[7];
            const bool ascii = argc == 9 && std::string(argv[8]) == "ascii";
            if (argc == 9 && !ascii) return Usage();
            if (ascii)
                client.SetAsciiMode();
            else
                client.SetBinaryMode();
            if (verb == "get")
                client.RetrieveFile(remote, local);
            else
                client.PutFile(local, remote);
        } else if (verb == "list") {
            if (argc != 7) return Usage();
            std::vector<CDirEntry> entries;
            if (client.GetSystemType() == "VMS") {
                client.ListDirectoryVms(remote + "*.*", entries);
            } else {
                client.ChangeDirectory(remote);
                client.ListDirectoryUnix("*", entries);
            }
            for (const CDirEntry& e : entries)
                std::printf("%s%s\n", e.strName.c_str(), e.bIsDir ? "/" : "");
        } else {
            return Usage();
        }
        client.Disconnect();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvl-ftp: %s\n", e.what());
        return 1;
    }
    return 0;
}
