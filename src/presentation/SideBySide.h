#pragma once

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace korsa {

// Runs work(0) to work(count - 1) spread over the processor's cores, the calling thread taking its
// share, and returns once every one has run. Each call must write only what is its own. Without
// threads to spare (one core, or none can be started) the calling thread runs them all in order.
template <typename Work> void RunSideBySide(int count, const Work &work)
{
    std::atomic<int> next{0};
    const auto take = [&next, count, &work] {
        for (int k = next.fetch_add(1); k < count; k = next.fetch_add(1))
            work(k);
    };
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(cores, count); ++t) {
        try {
            helpers.emplace_back(take);
        } catch (const std::system_error &) {
            break;
        }
    }
    take();
    for (std::thread &helper : helpers)
        helper.join();
}

} // namespace korsa
