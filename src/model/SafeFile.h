// Saving and copying files so that a failure never leaves a half-written file.
#pragma once

#include <string>

// Writes the bytes to a temporary file in the same folder, flushes it to the
// disk and renames it over `path`. False, with the reason in `error`, when
// any step fails; the old file is then left as it was.
bool SaveFileAtomic(const std::string& path, const std::string& bytes, std::string& error,
                    unsigned mode = 0600);

// Copies a file byte for byte (through a temporary name when overwriting).
// With overwrite false an existing target is a failure.
bool CopyFileBytes(const std::string& from, const std::string& to, bool overwrite,
                   std::string& error);

// Renames a file; never replaces an existing target. False with the reason.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string& error);

// Moves a file into place, replacing a file of the same name.
bool RenameReplace(const std::string& from, const std::string& to, std::string& error);

bool PathExists(const std::string& path);
bool IsRegularFile(const std::string& path);
