// The poll run: one single-AP poll per row on a worker pool, results handled in the order
// the APs finish.

#include "quorvane/poller/poll_run.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <string_view>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/quoted_list.hpp"
#include "quorvane/engine/secret_mask.hpp"

namespace quorvane {

namespace {

long long ceil_div(long long n, long long d) { return (n + d - 1) / d; }

bool is_success(const std::string& status) {
    constexpr std::string_view prefix = "success";
    return status.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), status.begin(), [](char p, char c) {
               return p == std::tolower(static_cast<unsigned char>(c));
           });
}

}  // namespace

int compute_max_workers(long long ap_filtered_cnt) {
    const long long n = ap_filtered_cnt;
    if (n <= 0) return 1;
    if (n < 50) return static_cast<int>(n);
    if (n < 100) return static_cast<int>(ceil_div(n, 2));
    if (n < 500) return static_cast<int>(ceil_div(n, 4));
    return static_cast<int>(ceil_div(n, 10));
}

std::pair<int, int> Quorvane::run_ap_poller(const ApRows& ap_rows, const std::string& device,
                                            std::vector<std::string> ap_cmds,
                                            const std::string& ap_mode) {
    if (ap_mode == "AP Image Download" && ap_cmds.empty()) ap_cmds = _build_image_download_cmd();
    const SecretMask mask(ini);
    _log(mask.apply("[AP] Mode=" + ap_mode + " | Commands to run: " + quoted_list(ap_cmds)));
    const int n = static_cast<int>(ap_rows.size());
    const int workers = compute_max_workers(n);
    _log("ApFilteredCnt=" + std::to_string(n) + " -> MAX_WORKERS=" + std::to_string(workers));
    success = 0;
    failed = 0;
    const auto started = options.clock->now();

    {
        auto pool = std::make_shared<TaskPool<PollResult>>(static_cast<std::size_t>(workers));
        // However the run ends, the pool stops taking tasks without waiting for the ones still
        // running; the destructor waits for those.
        struct Cleanup {
            Quorvane& engine;
            std::shared_ptr<TaskPool<PollResult>> pool;
            ~Cleanup() {
                try {
                    if (auto held = engine.executor.get()) held->shutdown(false);
                } catch (...) {
                }
                try {
                    engine.executor.reset();
                } catch (...) {
                }
                try {
                    std::erase_if(engine.pools_left_running_, [](const auto& p) {
                        if (!p->wait_idle_for(std::chrono::seconds(0))) return false;
                        p->shutdown(true);
                        return true;
                    });
                    engine.pools_left_running_.push_back(pool);
                } catch (...) {
                }
            }
        } cleanup{*this, pool};
        executor.set(pool);

        const auto cmds = std::make_shared<const std::vector<std::string>>(std::move(ap_cmds));
        int submitted = 0;
        for (int i = 0; i < n; ++i) {
            if (stop_requested()) {
                _log("[AP] shutdown requested before submitting all tasks");
                break;
            }
            pool->submit([this, i, row = ap_rows[i], device, cmds] {
                return _poll_one_ap(i, row, device, *cmds);
            });
            ++submitted;
        }

        const auto report_result = [this](const PollResult& result) {
            if (ap_update_cb) {
                try {
                    ap_update_cb(result.idx, result.ip, result.model, result.status, result.name,
                                 result.wlc_ip);
                } catch (const std::exception&) {
                }
            }
            if (options.on_poll_result) {
                try {
                    options.on_poll_result(result);
                } catch (const std::exception&) {
                }
            }
        };
        int taken = 0;
        const auto report_progress = [&] {
            _progress(static_cast<int>(static_cast<long long>(taken) * 100 / n));
        };
        while (taken < submitted) {
            auto finished = pool->next_finished();
            if (!finished) break;
            if (stop_requested()) {
                _log("[AP] shutdown requested during polling; stopping result handling.");
                break;
            }
            PollResult result;
            try {
                result = finished->take();
            } catch (const std::exception& e) {
                const std::string error = mask.apply(e.what());
                _log("[AP] task exception: " + error);
                const int index = static_cast<int>(finished->index);
                ++taken;
                ++failed;
                report_progress();
                const ApRow& row = *ap_rows[index];
                report_result(PollResult{index, row.ip, row.model, "Failed: " + error, row.name,
                                         "", error});
                continue;
            }
            ++taken;
            report_progress();
            if (is_success(result.status)) {
                ++success;
            } else {
                ++failed;
            }
            result.name = result.idx >= 0 && result.idx < n && ap_rows[result.idx]
                              ? ap_rows[result.idx]->name
                              : "";
            report_result(result);
        }
    }

    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(options.clock->now() - started).count();
    _log("[AP] Done. Success=" + std::to_string(success) + " Fail=" + std::to_string(failed) +
         " Time=" + std::to_string(elapsed) + "s");
    return {success, failed};
}

}  // namespace quorvane
