#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/metrics/Metric.h"

// The page a scrape reads, in Prometheus's text format 0.0.4 or in OpenMetrics 1.0.0.
namespace metrics {

enum class Format { kText, kOpenMetrics };
enum class Kind { kCounter, kGauge, kHistogram, kInfo };

struct Sample {
    std::string labelValue;  // empty label name: no label
    double value = 0;
};

// One metric family. `name` is the name of its samples as the text format writes them
// (counters end in "_total", infos in "_info"); OpenMetrics names the family without it.
struct Family {
    std::string name;
    std::string help;
    Kind kind = Kind::kGauge;
    std::string labelName;
    std::vector<Sample> samples;
    Histogram::Snapshot histogram;  // for kHistogram
};

// The format a request's Accept field prefers: OpenMetrics when it ranks it at least as high as
// the text format (a scraper that asks for it), the text format otherwise and without a field.
Format ChooseFormat(std::optional<std::string_view> accept);
std::string_view ContentType(Format format);

// The whole page. Label values are escaped; one that is not valid UTF-8 cannot be parsed by a
// scraper, so callers keep such values out (see LabelValueUsable).
std::string Write(const std::vector<Family>& families, Format format);
bool LabelValueUsable(std::string_view value);

}  // namespace metrics
