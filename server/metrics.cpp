// metrics.cpp: the ranking's counters and their Prometheus text (see metrics.h).
#include "metrics.h"

#include <algorithm>
#include <cstdio>

namespace {

// Why a submission was refused, by the status it got.
const char* refusalReason(int status) {
    switch (status) {
    case 400: return "malformed";
    case 403: return "other_site";
    case 405: return "wrong_method";
    case 413: return "too_large";
    case 503: return "not_stored";
    }
    return "other";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

void head(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void histogram(std::string& out, const std::string& name, const std::string& labels, const Histogram& h) {
    std::string before = labels.empty() ? "{" : "{" + labels + ",";
    std::uint64_t total = 0;
    for (std::size_t i = 0; i <= h.bounds.size(); ++i) {
        total += h.counts[i];
        out += name + "_bucket" + before + "le=\"" + (i < h.bounds.size() ? number(h.bounds[i]) : "+Inf") + "\"} " +
               std::to_string(total) + "\n";
    }
    std::string own = labels.empty() ? "" : "{" + labels + "}";
    out += name + "_sum" + own + " " + number(h.sum) + "\n" + name + "_count" + own + " " + std::to_string(total) + "\n";
}

}  // namespace

Histogram::Histogram(std::vector<double> upperBounds) : bounds(std::move(upperBounds)), counts(bounds.size() + 1) {}

void Histogram::add(double value) {
    ++counts[static_cast<std::size_t>(std::lower_bound(bounds.begin(), bounds.end(), value) - bounds.begin())];
    sum += value;
}

void Metrics::countSubmission(int status, const char* reason) {
    std::lock_guard lock(mutex);
    if (status == 200) {
        ++stored;
    } else if (status == 429) {
        ++rateLimited;
    } else {
        std::string why = reason != nullptr ? reason : refusalReason(status);
        auto found = std::find_if(refused.begin(), refused.end(), [&](auto& entry) { return entry.first == why; });
        if (found == refused.end()) found = refused.insert(refused.end(), {why, 0});
        ++found->second;
    }
}

void Metrics::timeRequest(bool submission, double seconds) {
    std::lock_guard lock(mutex);
    (submission ? submissionSeconds : pageSeconds).add(seconds);
}

void Metrics::countBatch(std::size_t submissions, double seconds) {
    std::lock_guard lock(mutex);
    batchSizes.add(static_cast<double>(submissions));
    flushSeconds.add(seconds);
}

void Metrics::countStoreError() {
    std::lock_guard lock(mutex);
    ++storeErrors;
}

std::string Metrics::text(std::int64_t names) {
    std::lock_guard lock(mutex);
    std::string out;
    head(out, "pilaro_submissions_total", "counter", "Submissions answered, by outcome (and a refusal's reason).");
    out += "pilaro_submissions_total{outcome=\"stored\"} " + std::to_string(stored) + "\n";
    out += "pilaro_submissions_total{outcome=\"rate_limited\"} " + std::to_string(rateLimited) + "\n";
    for (const auto& [reason, count] : refused)
        out += "pilaro_submissions_total{outcome=\"refused\",reason=\"" + reason + "\"} " +
               std::to_string(count) + "\n";
    head(out, "pilaro_request_duration_seconds", "histogram", "Time from a request to its answer, by kind.");
    histogram(out, "pilaro_request_duration_seconds", "kind=\"submission\"", submissionSeconds);
    histogram(out, "pilaro_request_duration_seconds", "kind=\"page\"", pageSeconds);
    head(out, "pilaro_batch_submissions", "histogram", "Submissions written together in one transaction.");
    histogram(out, "pilaro_batch_submissions", "", batchSizes);
    head(out, "pilaro_batch_flush_seconds", "histogram", "Time to write, commit and flush one batch.");
    histogram(out, "pilaro_batch_flush_seconds", "", flushSeconds);
    head(out, "pilaro_store_errors_total", "counter", "Requests that the store failed (each a 503).");
    out += "pilaro_store_errors_total " + std::to_string(storeErrors) + "\n";
    if (names >= 0) {
        head(out, "pilaro_names", "gauge", "Names in the ranking.");
        out += "pilaro_names " + std::to_string(names) + "\n";
    }
    return out;
}
