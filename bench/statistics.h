#pragma once

#include <algorithm>
#include <vector>

// Summaries of repeated measurements. The median is the figure to compare: it is what a typical
// run costs and does not move with the odd run that the machine interrupted.
struct Summary
{
    double median = 0;
    double minimum = 0;
    double maximum = 0;
    double percentile90 = 0;
    int count = 0;
};

inline Summary summarise(std::vector<double> values)
{
    Summary summary;
    if (values.empty())
        return summary;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    summary.median = values.size() % 2 ? values[middle]
                                       : (values[middle - 1] + values[middle]) / 2;
    summary.minimum = values.front();
    summary.maximum = values.back();
    summary.percentile90 = values[(values.size() - 1) * 9 / 10];
    summary.count = static_cast<int>(values.size());
    return summary;
}
