// Offers to create on the server the remote folders that newly added file
// items need, and creates them with MKD in an FTP worker.
#pragma once

#include <string>
#include <vector>

#include "remote/DirEntry.h"

class CProgramData;

// The Yes/No question listing the folders (ten at most, then "<and more...>").
std::string MakeAutoCreateQuestion(const std::vector<std::string>& folders);

// Works out the folders below base that the entries' remote folders need,
// asks, and on Yes starts the worker on the current account. Refuses with
// "One FTP session is already on. Auto-create discarded." while FTP is busy.
void PromptAutoCreateRemoteDirs(CProgramData& data, const std::string& base,
                                const std::vector<CDirEntry>& entries);
// The folders of the last Yes (empty after No or a refusal).
std::vector<std::string> GetAutoCreateFolderList();

// The worker body: connects (host, user) without a vault lookup and sends
// one MKD per folder, "Created: " or "Failed: " per folder.
void AutoCreateRemoteDirs(CProgramData& data, const std::string& host, const std::string& user,
                          const std::vector<std::string>& folders);
