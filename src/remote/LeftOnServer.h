// What stopped sends left on the servers, kept across runs of the program
// in the session folder (kLeftOnServersFileName): the temporary names this
// program made beside a file it sent and has not seen renamed or deleted,
// and the files a stopped send over them may have left cut. Only names the
// program itself made are ever removed: a file that merely looks like a
// temporary is never touched. Without a session folder nothing is kept.
// Safe to call from any thread.
#pragma once

#include <ctime>
#include <string>
#include <vector>

constexpr const char* kLeftOnServersFileName = "_qvl_left_on_servers.txt";

// A temporary name (its whole remote path) the program is about to make on
// the account's host, and one it saw renamed or removed.
void NoteLeftTemporary(const std::string& host, const std::string& user, const std::string& path);
void ForgetLeftTemporary(const std::string& host, const std::string& user, const std::string& path);
// The temporaries of the account the program made and did not see go.
std::vector<std::string> LeftTemporaries(const std::string& host, const std::string& user);

// A remote file a stopped send may have left cut (its old text gone, the
// new one not whole), and one sent whole since.
void NoteCutRemoteFile(const std::string& host, const std::string& user, const std::string& path);
void ForgetCutRemoteFile(const std::string& host, const std::string& user, const std::string& path);
struct CCutRemoteFile {
    std::string host, user, path;
    std::time_t when = 0;  // when the send was stopped
};
std::vector<CCutRemoteFile> CutRemoteFiles();
// One Message Window line for each: named as possibly incomplete (at the
// program's start, until the file is sent whole again).
void NameCutRemoteFiles();
