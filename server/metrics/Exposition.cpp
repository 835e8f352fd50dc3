#include "server/metrics/Exposition.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace metrics {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// One media range of an Accept field: its type, version parameter and weight.
struct MediaRange {
    std::string_view type;
    std::string_view version;
    double weight = 1;
};

MediaRange ParseMediaRange(std::string_view text) {
    MediaRange range;
    size_t semicolon = text.find(';');
    range.type = Trim(text.substr(0, semicolon));
    while (semicolon != std::string_view::npos) {
        text.remove_prefix(semicolon + 1);
        semicolon = text.find(';');
        const std::string_view parameter = Trim(text.substr(0, semicolon));
        const size_t equals = parameter.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = Trim(parameter.substr(0, equals));
        const std::string_view value = Trim(parameter.substr(equals + 1));
        if (EqualsIgnoringCase(key, "q")) {
            double weight = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), weight);
            range.weight = error == std::errc() && weight >= 0 && weight <= 1 ? weight : 0;
        } else if (EqualsIgnoringCase(key, "version")) {
            range.version = value;
        }
    }
    return range;
}

// Numbers as Go's scrapers read them; OpenMetrics wants an integral bucket bound as "1.0".
std::string Number(double value, bool canonicalFloat = false) {
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    if (std::isnan(value)) return "NaN";
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, end);
    if (canonicalFloat && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

void AppendEscaped(std::string& out, std::string_view text, bool quotes) {
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '"' && quotes) {
            out += "\\\"";
        } else {
            out += c;
        }
    }
}

// The family's name in a TYPE or HELP line.
std::string_view FamilyName(const Family& family, Format format) {
    std::string_view name = family.name;
    if (format == Format::kOpenMetrics) {
        if (family.kind == Kind::kCounter && name.ends_with("_total")) name.remove_suffix(6);
        if (family.kind == Kind::kInfo && name.ends_with("_info")) name.remove_suffix(5);
    }
    return name;
}

std::string_view TypeName(Kind kind, Format format) {
    switch (kind) {
        case Kind::kCounter:
            return "counter";
        case Kind::kHistogram:
            return "histogram";
        case Kind::kInfo:
            return format == Format::kOpenMetrics ? "info" : "gauge";
        case Kind::kGauge:
            break;
    }
    return "gauge";
}

void AppendSample(std::string& out, std::string_view name, std::string_view labelName,
                  std::string_view labelValue, const std::string& value) {
    out.append(name);
    if (!labelName.empty()) {
        out.append("{").append(labelName).append("=\"");
        AppendEscaped(out, labelValue, true);
        out.append("\"}");
    }
    out.append(" ").append(value).append("\n");
}

void AppendHistogram(std::string& out, const Family& family, Format format) {
    const Histogram::Snapshot& h = family.histogram;
    const std::string bucket = family.name + "_bucket";
    for (size_t i = 0; i < h.cumulative.size(); ++i) {
        const double bound = i < h.bounds.size() ? h.bounds[i] : INFINITY;
        AppendSample(out, bucket, "le", Number(bound, format == Format::kOpenMetrics),
                     Number(static_cast<double>(h.cumulative[i])));
    }
    const double count = h.cumulative.empty() ? 0 : static_cast<double>(h.cumulative.back());
    AppendSample(out, family.name + "_count", {}, {}, Number(count));
    AppendSample(out, family.name + "_sum", {}, {}, Number(h.sum));
}

}  // namespace

Format ChooseFormat(std::optional<std::string_view> accept) {
    if (!accept) return Format::kText;
    double openMetrics = 0;
    double text = 0;
    std::string_view rest = *accept;
    for (;;) {
        const size_t comma = rest.find(',');
        const MediaRange range = ParseMediaRange(rest.substr(0, comma));
        if (EqualsIgnoringCase(range.type, "application/openmetrics-text") &&
            (range.version.empty() || range.version == "1.0.0")) {
            openMetrics = std::max(openMetrics, range.weight);
        } else if ((EqualsIgnoringCase(range.type, "text/plain") &&
                    (range.version.empty() || range.version == "0.0.4")) ||
                   range.type == "*/*" || EqualsIgnoringCase(range.type, "text/*")) {
            text = std::max(text, range.weight);
        }
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return openMetrics > 0 && openMetrics >= text ? Format::kOpenMetrics : Format::kText;
}

std::string_view ContentType(Format format) {
    return format == Format::kOpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

std::string Write(const std::vector<Family>& families, Format format) {
    std::string out;
    for (const Family& family : families) {
        const std::string_view name = FamilyName(family, format);
        out.append("# HELP ").append(name).append(" ");
        AppendEscaped(out, family.help, format == Format::kOpenMetrics);
        out.append("\n# TYPE ").append(name).append(" ");
        out.append(TypeName(family.kind, format)).append("\n");
        if (family.kind == Kind::kHistogram) {
            AppendHistogram(out, family, format);
            continue;
        }
        for (const Sample& sample : family.samples) {
            AppendSample(out, family.name, family.labelName, sample.labelValue,
                         Number(sample.value));
        }
    }
    if (format == Format::kOpenMetrics) out.append("# EOF\n");
    return out;
}

bool LabelValueUsable(std::string_view value) {
    // Well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate, at most
    // U+10FFFF.
    const auto* p = reinterpret_cast<const unsigned char*>(value.data());
    const auto* end = p + value.size();
    while (p < end) {
        const unsigned char c = *p;
        int length = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (end - p < length) return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
            return false;
        }
        p += length;
    }
    return true;
}

}  // namespace metrics
