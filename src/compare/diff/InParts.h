// Work split into parts that run at once: each part but the first on a
// thread of its own, the first on the caller's, or parts taken in turn by a
// few threads; and work done beside the caller's.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
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

// Runs part(k, t) for k = 0 .. parts - 1 on up to threads threads at once
// (t: 0 the caller's, 1, 2, ... threads of their own), each taking the next
// part not yet taken, so that a thread that starts late takes fewer; where
// fewer threads can be had, those there take them all. Waits for all of
// them. False when a part ran out of memory (the others still ran).
template <class Part>
bool RunInTurn(size_t threads, size_t parts, Part part) {
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto take = [&](size_t t) {
        for (size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < parts;) {
            try {
                part(k, t);
            } catch (const std::bad_alloc&) {
                failed.store(true, std::memory_order_relaxed);
            }
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(take, t);
        } catch (const std::system_error&) {
            break;
        }
    }
    take(0);
    for (std::thread& t : helpers) t.join();
    return !failed.load();
}

// Work done on a thread of its own beside the caller's (at once where no
// thread can be had). Join waits for it and throws what it threw; the
// thread is waited for in any case before this goes.
class BesideWork {
public:
    template <class Work>
    explicit BesideWork(Work work) {
        auto run = [this, work]() mutable {
            try {
                work();
            } catch (...) {
                m_Failure = std::current_exception();
            }
        };
        try {
            m_Thread = std::thread(run);
        } catch (const std::system_error&) {
            run();
        }
    }
    BesideWork(const BesideWork&) = delete;
    BesideWork& operator=(const BesideWork&) = delete;
    ~BesideWork() {
        if (m_Thread.joinable()) m_Thread.join();
    }
    void Join() {
        if (m_Thread.joinable()) m_Thread.join();
        if (m_Failure) std::rethrow_exception(std::exchange(m_Failure, nullptr));
    }

private:
    std::thread m_Thread;
    std::exception_ptr m_Failure;
};

}  // namespace textdiff
