#pragma once
// One AP of the inventory. Rows are shared: the fetch stamps `wlc_ip`, the site-tag filters
// set `site_tag` on the rows they keep, and a poll may overwrite `model`; every holder of
// the row sees the change.

#include <memory>
#include <string>
#include <vector>

namespace quorvane {

struct ApRow {
    std::string ip;
    std::string model;
    std::string name;
    std::string site_tag;
    std::string wlc_ip;
};

using ApRowPtr = std::shared_ptr<ApRow>;
using ApRows = std::vector<ApRowPtr>;

inline ApRowPtr make_ap_row(std::string ip, std::string model, std::string name,
                            std::string site_tag = "", std::string wlc_ip = "") {
    return std::make_shared<ApRow>(ApRow{std::move(ip), std::move(model), std::move(name),
                                         std::move(site_tag), std::move(wlc_ip)});
}

}  // namespace quorvane
