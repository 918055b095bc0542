#include "apps/flash-report/html_report.hpp"

#include <algorithm>
#include <cstdio>

namespace flash_report {
namespace {

namespace fs = std::filesystem;
using tessivar::RecoveryGroup;

std::string number(std::size_t n) { return std::to_string(n); }

// Each byte outside the unreserved set and "/" percent-encoded, so any file name links.
std::string url_path(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url;
    for (unsigned char c : path) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') ||
                                std::string_view("-._~/").find(c) != std::string_view::npos;
        if (unreserved) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

std::string relative_link(const fs::path& target, const fs::path& page_path) {
    const fs::path from = fs::absolute(page_path).lexically_normal().parent_path();
    const fs::path rel = fs::absolute(target).lexically_normal().lexically_relative(from);
    return url_path((rel.empty() ? target : rel).generic_string());
}

std::string buggy_text(const std::optional<std::string>& image, const std::optional<bool>& buggy) {
    if (!image) return "not in the log";
    if (!buggy) return *image + " (cannot tell whether affected)";
    return *image + (*buggy ? " (affected release)" : " (fixed release)");
}

std::string megabytes_text(const std::optional<double>& mb) {
    if (!mb) return "not in the log";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f MB", *mb);
    return buf;
}

struct Bar {
    std::string label;
    std::string key;
    std::size_t count;
};

std::vector<Bar> chart_bars(const FlashCheckResult& result, const Counts& counts) {
    static constexpr const char* kShort[tessivar::RECOVERY_GROUP_COUNT] = {
        "Partition swap", "Devshell recovery", "Archive download", "Integrity failed", "Low flash"};
    std::vector<Bar> bars;
    for (std::size_t g = 0; g < tessivar::RECOVERY_GROUP_COUNT; ++g) {
        bars.push_back({kShort[g], std::string(group_title(static_cast<RecoveryGroup>(g))),
                        counts.per_group[g]});
    }
    bars.push_back({"Healthy", "healthy", counts.healthy});
    bars.push_back({"Not decided", "not decided", counts.undecided});
    if (result.run.polled) {
        bars.push_back({"Not checked", "not checked", counts.selected - counts.checked});
    }
    return bars;
}

constexpr std::string_view kPatterns = R"svg(<defs>
<pattern id="fill0" width="8" height="8" patternUnits="userSpaceOnUse"><rect width="8" height="8" fill="#7f1d1d"/></pattern>
<pattern id="fill1" width="8" height="8" patternUnits="userSpaceOnUse" patternTransform="rotate(45)"><rect width="8" height="8" fill="#f6c9a3"/><rect width="3" height="8" fill="#a3470f"/></pattern>
<pattern id="fill2" width="8" height="8" patternUnits="userSpaceOnUse"><rect width="8" height="8" fill="#fbe7a1"/><path d="M0 4H8M4 0V8" stroke="#7a5c00" stroke-width="1.5"/></pattern>
<pattern id="fill3" width="8" height="8" patternUnits="userSpaceOnUse"><rect width="8" height="8" fill="#ddd0f2"/><circle cx="4" cy="4" r="2" fill="#4b1f7a"/></pattern>
<pattern id="fill4" width="8" height="8" patternUnits="userSpaceOnUse"><rect width="8" height="8" fill="#cfe0f2"/><rect width="8" height="3" fill="#1d4a75"/></pattern>
<pattern id="fill5" width="8" height="8" patternUnits="userSpaceOnUse"><rect width="8" height="8" fill="#e6f3e6"/></pattern>
<pattern id="fill6" width="8" height="8" patternUnits="userSpaceOnUse"><rect width="8" height="8" fill="#eeeeee"/><rect width="2" height="8" fill="#555555"/></pattern>
<pattern id="fill7" width="8" height="8" patternUnits="userSpaceOnUse"><rect width="8" height="8" fill="#ffffff"/><path d="M0 8L8 0" stroke="#222222"/></pattern>
</defs>)svg";

void write_chart(std::string& out, const std::vector<Bar>& bars) {
    constexpr int kLabelWidth = 170, kBarArea = 420, kRow = 30, kLegendRow = 24;
    std::size_t largest = 1;
    for (const Bar& bar : bars) largest = std::max(largest, bar.count);
    const int legend_top = static_cast<int>(bars.size()) * kRow + 10;
    const int height = legend_top + 2 * kLegendRow;
    out +=
        "<svg class=\"chart\" role=\"img\" aria-labelledby=\"chart-title\" width=\"680\" "
        "height=\"" +
        std::to_string(height) + "\" viewBox=\"0 0 680 " + std::to_string(height) +
        "\"><title id=\"chart-title\">APs by outcome</title>";
    out += kPatterns;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar& bar = bars[i];
        const int y = static_cast<int>(i) * kRow;
        int width = static_cast<int>(bar.count * kBarArea / largest);
        if (bar.count > 0) width = std::max(width, 3);
        out += "<text x=\"0\" y=\"" + std::to_string(y + 19) + "\">" + html_escape(bar.label) +
               "</text>";
        out += "<rect class=\"bar\" data-outcome=\"" + html_escape(bar.key) + "\" data-count=\"" +
               number(bar.count) + "\" x=\"" + std::to_string(kLabelWidth) + "\" y=\"" +
               std::to_string(y + 4) + "\" width=\"" + std::to_string(width) +
               "\" height=\"20\" fill=\"url(#fill" + std::to_string(i) +
               ")\" stroke=\"#000\"><title>" + html_escape(bar.label) + ": " + number(bar.count) +
               "</title></rect>";
        out += "<text x=\"" + std::to_string(kLabelWidth + width + 6) + "\" y=\"" +
               std::to_string(y + 19) + "\">" + number(bar.count) + "</text>";
    }
    // The legend repeats the patterns, four to a row.
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const int x = static_cast<int>(i % 4) * 170;
        const int y = legend_top + static_cast<int>(i / 4) * kLegendRow;
        out += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
               "\" width=\"16\" height=\"16\" fill=\"url(#fill" + std::to_string(i) +
               ")\" stroke=\"#000\"/><text x=\"" + std::to_string(x + 22) + "\" y=\"" +
               std::to_string(y + 13) + "\">" + html_escape(bars[i].label) + "</text>";
    }
    out += "</svg>\n";
}

void write_run(std::string& out, const FlashCheckResult& result, const Counts& counts) {
    const RunInfo& run = result.run;
    const auto item = [&out](std::string_view term, const std::string& value) {
        out += "<dt>" + html_escape(term) + "</dt><dd>" + html_escape(value) + "</dd>";
    };
    const auto joined = [](const std::vector<std::string>& items) {
        std::string text;
        for (const std::string& s : items) text += (text.empty() ? "" : ", ") + s;
        return text.empty() ? std::string("none") : text;
    };
    out += "<dl class=\"run\">";
    item("When", run.time);
    if (run.polled) {
        item("Controllers", joined(run.controllers));
        std::string filters;
        if (!run.section.empty()) filters += "section " + run.section;
        if (!run.site_tag.empty())
            filters += (filters.empty() ? "" : ", ") + ("site tag " + run.site_tag);
        if (!run.model_group.empty())
            filters += (filters.empty() ? "" : ", ") + ("model group " + run.model_group);
        item("Filters", filters.empty() ? "none (every QCA-based AP)" : filters);
        item("Commands", joined(run.commands));
        item("APs", number(counts.selected) + " selected, " + number(counts.polled) + " polled, " +
                        number(counts.failed) + " failed, " + number(counts.susceptible) +
                        " susceptible");
    } else {
        item("Log folders", joined(run.folders));
        item("APs",
             number(counts.checked) + " logs, " + number(counts.susceptible) + " susceptible");
    }
    out += "</dl>\n";
    if (run.interrupted) {
        out += "<p class=\"note\">The run was stopped: this result covers only the " +
               number(counts.checked) + " APs that finished.</p>\n";
    }
    if (counts.undecided > 0) {
        out += "<p class=\"note\">Nothing could be decided for " + number(counts.undecided) +
               " APs: their logs lack the outputs the checks need.</p>\n";
    }
}

void write_susceptible(std::string& out, const std::vector<const ApResult*>& aps) {
    out += "<h2 id=\"susceptible\">Susceptible APs (" + number(aps.size()) + ")</h2>\n";
    if (aps.empty()) {
        out += "<p>None.</p>\n";
        return;
    }
    out += "<div id=\"filters\"></div><p id=\"shown\"></p>\n";
    out +=
        "<table id=\"susceptible-table\"><thead><tr><th>Name</th><th>Address</th><th>Model</th>"
        "<th>Signature</th><th>Controller</th><th>Recovery group</th><th>Failures</th>"
        "</tr></thead><tbody>\n";
    for (std::size_t i = 0; i < aps.size(); ++i) {
        const ApResult& ap = *aps[i];
        const std::string group(group_title(*ap.facts->group));
        out += "<tr data-group=\"" + html_escape(group) + "\" data-controller=\"" +
               html_escape(ap.controller) + "\"><td><a href=\"#ap-" + number(i) + "\">" +
               html_escape(ap.name) + "</a></td><td>" + html_escape(ap.address) + "</td><td>" +
               html_escape(ap.model) + "</td><td>" + html_escape(ap.facts->signature) +
               "</td><td>" + html_escape(ap.controller) + "</td><td>" + html_escape(group) +
               "</td><td>" + html_escape(failures_text(ap)) + "</td></tr>\n";
    }
    out += "</tbody></table>\n<h3>Next step per recovery group</h3><ul id=\"next-steps\">";
    std::vector<RecoveryGroup> groups;
    for (const ApResult* ap : aps) {
        if (groups.empty() || groups.back() != *ap->facts->group)
            groups.push_back(*ap->facts->group);
    }
    for (const RecoveryGroup group : groups) {
        out += "<li><strong>" + html_escape(group_title(group)) + ":</strong> " +
               html_escape(next_step(group)) + "</li>";
    }
    out += "</ul>\n";
}

void write_evidence(std::string& out, const std::vector<const ApResult*>& aps,
                    const fs::path& page_path) {
    if (aps.empty()) return;
    out += "<h2>Evidence per susceptible AP</h2>\n";
    for (std::size_t i = 0; i < aps.size(); ++i) {
        const ApResult& ap = *aps[i];
        const tessivar::ApFacts& facts = *ap.facts;
        const auto item = [&out](std::string_view term, const std::string& value) {
            out += "<dt>" + html_escape(term) + "</dt><dd>" + html_escape(value) + "</dd>";
        };
        out += "<details id=\"ap-" + number(i) + "\"><summary>" + html_escape(ap.name) + " — " +
               html_escape(group_title(*facts.group)) + "</summary><dl class=\"evidence\">";
        item("Next step", std::string(next_step(*facts.group)));
        item("Failures", failures_text(ap));
        item("Model signature",
             facts.signature + (facts.affected_model ? " (affected family)" : ""));
        item("Running image", buggy_text(facts.running_image, facts.running_image_buggy));
        item("Backup image", buggy_text(facts.backup_image, facts.backup_image_buggy));
        item("Boot partition", facts.boot_partition.value_or("not in the log"));
        item("Part2 free space", megabytes_text(facts.part2_free_mb));
        std::string integrity;
        for (const std::string& line : facts.integrity_lines) integrity += line + "\n";
        out += "<dt>Image integrity</dt><dd><pre>" +
               html_escape(integrity.empty() ? "no whole report in the log" : integrity) +
               "</pre></dd>";
        out += "<dt>Flash listing</dt><dd><pre>" +
               html_escape(facts.flash_listing_line.empty() ? "no root-owned cnss daemon log listed"
                                                            : facts.flash_listing_line) +
               "</pre></dd>";
        out += "<dt>Log</dt><dd><a href=\"" +
               html_escape(relative_link(facts.log_file, page_path)) + "\">" +
               html_escape(facts.log_file.filename().string()) + "</a></dd>";
        out += "</dl></details>\n";
    }
}

void write_not_checked(std::string& out, const std::vector<const ApResult*>& aps) {
    out += "<h2 id=\"not-checked\">Not checked (" + number(aps.size()) + ")</h2>\n";
    if (aps.empty()) {
        out += "<p>Every selected AP was polled.</p>\n";
        return;
    }
    out +=
        "<p>These APs could not be polled, so nothing is known about their flash.</p>\n"
        "<table id=\"not-checked-table\"><thead><tr><th>Name</th><th>Address</th><th>Model</th>"
        "<th>Controller</th><th>Poll status</th><th>Reason</th></tr></thead><tbody>\n";
    for (const ApResult* ap : aps) {
        out += "<tr><td>" + html_escape(ap->name) + "</td><td>" + html_escape(ap->address) +
               "</td><td>" + html_escape(ap->model) + "</td><td>" + html_escape(ap->controller) +
               "</td><td>" + html_escape(ap->poll_status.value_or("")) + "</td><td>" +
               html_escape(ap->reason) + "</td></tr>\n";
    }
    out += "</tbody></table>\n";
}

void write_undecided(std::string& out, const std::vector<const ApResult*>& aps,
                     const fs::path& page_path) {
    if (aps.empty()) return;
    out += "<h2 id=\"not-decided\">Not decided (" + number(aps.size()) +
           ")</h2>\n"
           "<p>These APs' logs lack the outputs the checks need; nothing could be decided for "
           "them.</p>\n<table id=\"not-decided-table\"><thead><tr><th>Name</th><th>Address</th>"
           "<th>Model</th><th>Controller</th><th>Missing from the log</th><th>Log</th></tr>"
           "</thead><tbody>\n";
    for (const ApResult* ap : aps) {
        std::string missing = "the poll left no log";
        std::string link;
        if (ap->facts) {
            missing.clear();
            for (const std::string& m : ap->facts->missing)
                missing += (missing.empty() ? "" : ", ") + m;
            link = "<a href=\"" + html_escape(relative_link(ap->facts->log_file, page_path)) +
                   "\">" + html_escape(ap->facts->log_file.filename().string()) + "</a>";
        }
        out += "<tr><td>" + html_escape(ap->name) + "</td><td>" + html_escape(ap->address) +
               "</td><td>" + html_escape(ap->model) + "</td><td>" + html_escape(ap->controller) +
               "</td><td>" + html_escape(missing) + "</td><td>" + link + "</td></tr>\n";
    }
    out += "</tbody></table>\n";
}

void write_healthy(std::string& out, const std::vector<const ApResult*>& aps) {
    out += "<h2 id=\"healthy\">Healthy APs (" + number(aps.size()) + ")</h2>\n";
    if (aps.empty()) return;
    out += "<details><summary>" + number(aps.size()) +
           " APs need no recovery</summary><table id=\"healthy-table\"><thead><tr><th>Name</th>"
           "<th>Address</th><th>Model</th><th>Controller</th><th>Running image</th></tr></thead>"
           "<tbody>\n";
    for (const ApResult* ap : aps) {
        out += "<tr><td>" + html_escape(ap->name) + "</td><td>" + html_escape(ap->address) +
               "</td><td>" + html_escape(ap->model) + "</td><td>" + html_escape(ap->controller) +
               "</td><td>" + html_escape(ap->facts->running_image.value_or("")) + "</td></tr>\n";
    }
    out += "</tbody></table></details>\n";
}

}  // namespace

std::string html_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string html_page(const FlashCheckResult& result, const fs::path& page_path) {
    const Counts counts = count(result);
    const std::vector<const ApResult*> susceptible = susceptible_aps(result);
    std::string out;
    out.reserve(4096 + result.aps.size() * 1200);
    out +=
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>Flash check " +
        html_escape(result.run.time) + "</title><style>";
    out += PAGE_STYLE;
    out += "</style></head><body>\n<h1>AP flash check</h1>\n";
    write_run(out, result, counts);
    out += "<h2>APs by outcome</h2>\n";
    write_chart(out, chart_bars(result, counts));
    write_susceptible(out, susceptible);
    write_evidence(out, susceptible, page_path);
    if (result.run.polled) write_not_checked(out, aps_with(result, Outcome::not_checked));
    write_undecided(out, aps_with(result, Outcome::undecided), page_path);
    write_healthy(out, aps_with(result, Outcome::healthy));
    out += "<script>";
    out += PAGE_SCRIPT;
    out += "</script>\n</body></html>\n";
    return out;
}

}  // namespace flash_report
