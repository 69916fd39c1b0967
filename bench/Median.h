// The middle value of a benchmark's runs (the mean of the two middle ones for an even count).
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

template <typename T> T Median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
