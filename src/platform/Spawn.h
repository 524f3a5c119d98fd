// Starting another program without waiting for it.
#pragma once

#include <string>
#include <vector>

// Starts args[0] (looked up on PATH) with args as its argument vector and
// returns at once; false when it could not be started. The child is reaped
// in the background so that it leaves no zombie.
bool SpawnDetached(const std::vector<std::string>& args);
