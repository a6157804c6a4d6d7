#pragma once

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace tovin {

// How many pieces of work can run at once here: one a core.
inline std::size_t coreCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

// Runs `work(0)` to `work(count - 1)` at once, each on a thread of its own but `work(0)`, which
// runs on the calling thread, and returns when all have returned. A piece whose thread cannot
// start runs on the calling thread instead. `work` must not throw.
template <class Work> void runInParallel(std::size_t count, const Work& work) {
    std::vector<std::jthread> helpers;
    helpers.reserve(count);
    for (std::size_t i = 1; i < count; ++i) {
        try {
            helpers.emplace_back(work, i);
        } catch (const std::system_error&) {
            work(i);
        }
    }
    if (count > 0)
        work(0);
}

} // namespace tovin
