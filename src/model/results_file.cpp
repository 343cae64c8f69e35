#include "model/results_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "base/text_io.h"

namespace tolvi {

namespace {

using json = nlohmann::ordered_json;

constexpr int JSON_INDENT = 2;

json numberOrNull(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return nullptr;
    return *value;
}

json finite(double value) {
    return std::isfinite(value) ? json(value) : json(nullptr);
}

std::string lowerExtension(const std::string& path) {
    std::string name = fileNameOf(path);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return "";
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::string optionalText(const std::optional<double>& value) {
    return value && std::isfinite(*value) ? shortestText(*value) : std::string();
}

}  // namespace

std::string shortestText(double value) {
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    if (ec != std::errc()) return formatText("%.17g", value);
    return std::string(text, end);
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted(1, '"');
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

ResultsFormat resultsFormatOf(const std::string& path) {
    std::string ext = lowerExtension(path);
    if (ext == "json") return ResultsFormat::Json;
    if (ext == "csv") return ResultsFormat::Csv;
    return ResultsFormat::Unknown;
}

std::string resultsJson(const NamedResults& results) {
    json parameters = json::array();
    for (const ParameterResult& p : results.parameters) {
        json entry;
        entry["name"] = p.name;
        entry["value"] = finite(p.value);
        entry["error"] = numberOrNull(p.error);
        entry["at_bound"] = p.atBound.empty() ? json(nullptr) : json(p.atBound);
        entry["min"] = finite(p.min);
        entry["max"] = finite(p.max);
        if (p.posterior) {
            const PosteriorSummary& s = *p.posterior;
            entry["median"] = finite(s.median);
            entry["p15_87"] = finite(s.p15_87);
            entry["p84_13"] = finite(s.p84_13);
            entry["p2_5"] = finite(s.p2_5);
            entry["p97_5"] = finite(s.p97_5);
            entry["max_probability"] = finite(s.maxProbability);
            entry["tau"] = numberOrNull(s.tau);
        }
        parameters.push_back(std::move(entry));
    }
    json correlation = nullptr;
    if (results.correlation) {
        size_t n = results.parameters.size();
        correlation = json::array();
        for (size_t i = 0; i < n; ++i) {
            json row = json::array();
            for (size_t j = 0; j < n; ++j)
                row.push_back(numberOrNull((*results.correlation)[i * n + j]));
            correlation.push_back(std::move(row));
        }
    }
    json root;
    root["parameters"] = std::move(parameters);
    root["correlation"] = std::move(correlation);
    root["chi2"] = finite(results.chi2);
    root["dof"] = results.dof;
    root["points"] = results.points;
    root["method"] = results.method;
    root["status"] = results.status;
    root["measurement_errors"] = results.measurementErrors;
    root["note"] = results.note.empty() ? json(nullptr) : json(results.note);
    if (results.sampler) {
        const SamplerRunInfo& r = *results.sampler;
        json s;
        s["walkers"] = r.walkers;
        s["steps"] = r.steps;
        s["burn"] = r.burn;
        s["thin"] = r.thin;
        s["samples"] = r.samples;
        s["evaluations"] = r.evaluations;
        s["acceptance"] = finite(r.acceptance);
        s["seed"] = r.seed;
        s["chain_too_short"] = r.chainTooShort;
        root["sampler"] = std::move(s);
    }
    return root.dump(JSON_INDENT) + "\n";
}

std::string resultsCsv(const NamedResults& results) {
    bool posterior = results.sampler.has_value();
    std::string text = "name,value,error,at_bound";
    if (posterior) text += ",median,p15_87,p84_13,p2_5,p97_5,max_probability,tau";
    text += '\n';
    auto field = [&text](const std::string& value) {
        text += ',';
        text += value;
    };
    for (const ParameterResult& p : results.parameters) {
        text += csvField(p.name);
        field(shortestText(p.value));
        field(optionalText(p.error));
        field(p.atBound);
        if (posterior && p.posterior) {
            const PosteriorSummary& s = *p.posterior;
            for (double v : {s.median, s.p15_87, s.p84_13, s.p2_5, s.p97_5, s.maxProbability})
                field(shortestText(v));
            field(optionalText(s.tau));
        }
        text += '\n';
    }
    return text;
}

std::string chainCsv(const ChainSamples& chain) {
    std::string text = "walker,step,log_probability";
    for (const std::string& name : *chain.names) {
        text += ',';
        text += csvField(name);
    }
    text += '\n';
    text.reserve(text.size() +
                 static_cast<size_t>(chain.kept) * chain.walkers * (chain.dims + 3) * 16);
    char number[64];
    auto append = [&](double v) {
        auto [end, ec] = std::to_chars(number, number + sizeof number, v);
        text += ',';
        text.append(number, ec == std::errc() ? end : number);
    };
    for (int k = 0; k < chain.kept; ++k) {
        int step = chain.burn + (k + 1) * chain.thin;
        for (int w = 0; w < chain.walkers; ++w) {
            size_t row = static_cast<size_t>(k) * chain.walkers + w;
            text += std::to_string(w + 1);
            text += ',';
            text += std::to_string(step);
            append(chain.logProb[row]);
            for (int p = 0; p < chain.dims; ++p) append(chain.samples[row * chain.dims + p]);
            text += '\n';
        }
    }
    return text;
}

Status writeChainFile(const ChainSamples& chain, const std::string& path) {
    return writeFileSafely(path, chainCsv(chain));
}

Status writeResultsFile(const NamedResults& results, const std::string& path) {
    switch (resultsFormatOf(path)) {
        case ResultsFormat::Json:
            return writeFileSafely(path, resultsJson(results));
        case ResultsFormat::Csv:
            return writeFileSafely(path, resultsCsv(results));
        case ResultsFormat::Unknown:
            break;
    }
    std::string message = "--->Error a results file ends in .json or .csv: ";
    message += path;
    return {1, message, Outcome::Refused};
}

}  // namespace tolvi
