#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace jotbox::bench {

// Median wall time of `runs` calls, in milliseconds.
template <typename F> double medianMs(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

} // namespace jotbox::bench
