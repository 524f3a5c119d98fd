// Work split into parts that run at once: each part but the first on a
// thread of its own, the first on the caller's.
#pragma once

#include <algorithm>
#include <cstddef>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace textdiff {

// Runs part(k) for k = 0 .. parts - 1 and waits for all of them; a part
// for which no thread can be had runs on the caller's thread. False when
// a part ran out of memory (the others still ran to their end).
template <class Part>
bool RunInParts(size_t parts, Part part) {
    std::vector<char> failed(parts, 0);
    auto run = [&](size_t k) {
        try {
            part(k);
        } catch (const std::bad_alloc&) {
            failed[k] = 1;
        }
    };
    std::vector<std::thread> threads;
    for (size_t k = 1; k < parts; ++k) {
        try {
            threads.emplace_back(run, k);
        } catch (const std::system_error&) {
            run(k);
        }
    }
    run(0);
    for (std::thread& t : threads) t.join();
    return std::find(failed.begin(), failed.end(), 1) == failed.end();
}

}  // namespace textdiff
