// metrics.h: the counters of one ranking process, told in the Prometheus text format.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Counts by their upper bounds, as Prometheus keeps a histogram.
struct Histogram {
    std::vector<double> bounds;
    std::vector<std::uint64_t> counts;  // one per bound, then the rest (+Inf)
    double sum = 0;
    explicit Histogram(std::vector<double> upperBounds);
    void add(double value);
};

class Metrics {
public:
    // A POST answered with `status`: stored (200), rate-limited (429), or refused for its reason
    // (`reason`, or else the one its status tells).
    void countSubmission(int status, const char* reason = nullptr);
    // A submission's or a page's whole handling, in seconds.
    void timeRequest(bool submission, double seconds);
    // One batch of submissions written, and how long its commit and flush took.
    void countBatch(std::size_t submissions, double seconds);
    void countStoreError();
    // The text for a scrape; `names` < 0 when the store could not tell.
    std::string text(std::int64_t names);

private:
    std::mutex mutex;
    std::uint64_t stored = 0, rateLimited = 0, storeErrors = 0;
    std::vector<std::pair<std::string, std::uint64_t>> refused;  // by reason
    Histogram submissionSeconds{{.001, .0025, .005, .01, .025, .05, .1, .25, .5, 1, 2.5, 5}};
    Histogram pageSeconds{submissionSeconds.bounds};
    Histogram batchSizes{{1, 2, 4, 8, 16, 32, 64}};
    Histogram flushSeconds{submissionSeconds.bounds};
};
