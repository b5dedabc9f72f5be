// What both benchmarks share: one set of connection parameters, the one
// every launch is measured with, and the median.
#pragma once

#include "launch_driver.h"

#include <algorithm>
#include <vector>

namespace bench {

inline const e2e::Variables kParameters = {
    {"SPICE_HOST", "vm7.example"},   {"SPICE_PORT", "5900"},     {"SPICE_SPORT", "5901"},
    {"SPICE_PASSWORD", "secret"},    {"SPICE_TITLE", "Console"}, {"SPICE_CA_FILE", "C:\\ca.pem"},
    {"SPICE_HOST_SUBJECT", "CN=vm7"}};

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace bench
