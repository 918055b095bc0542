// The poll run: one single-AP poll per row on a worker pool, results handled in the order
// the APs finish.

#include "quorvane/poller/poll_run.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <string_view>
#include <unordered_map>

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

    // One poll per address, whatever list the host passes: two polls of one AP would act
    // on it twice and interleave two sessions in one log file. A row whose address an
    // earlier row holds is not polled; it is reported with that row's result when it
    // arrives, and the counters count each AP polled once.
    std::vector<int> to_poll;
    std::vector<std::vector<int>> listed_again(static_cast<std::size_t>(n));
    {
        std::unordered_map<std::string, int> first_row_of;
        for (int i = 0; i < n; ++i) {
            const ApRowPtr& row = ap_rows[i];
            if (row) {
                const auto [first, fresh] = first_row_of.emplace(row->ip, i);
                if (!fresh) {
                    listed_again[first->second].push_back(i);
                    _log("[AP] (" + std::to_string(i + 1) + ") " + row->ip + " (" + row->name +
                         ") is listed again: polled once, as AP (" +
                         std::to_string(first->second + 1) + ")");
                    continue;
                }
            }
            to_poll.push_back(i);
        }
    }

    {
        auto pool = std::make_shared<TaskPool<PollResult>>(static_cast<std::size_t>(workers),
                                                           options.start_thread);
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
        for (const int i : to_poll) {
            // A pool that refuses the task was shut down after the stop check: the same stop.
            if (stop_requested() || !pool->try_submit([this, i, row = ap_rows[i], device, cmds] {
                    return _poll_one_ap(i, row, device, *cmds);
                })) {
                _log("[AP] shutdown requested before submitting all tasks");
                break;
            }
        }

        int taken = 0;
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
        // Progress and the report of the polled row, then of each later row of its address;
        // rows change here only, on the run's own thread. `count` goes up after the polled
        // row's progress: a progress callback that fails leaves the counters without it.
        const auto report_rows = [&](PollResult result, int& count) {
            const int first = result.idx;
            std::vector<int> rows{first};
            if (first >= 0 && first < n) {
                rows.insert(rows.end(), listed_again[first].begin(), listed_again[first].end());
            }
            for (const int index : rows) {
                ++taken;
                _progress(static_cast<int>(static_cast<long long>(taken) * 100 / n));
                if (index == first) ++count;
                const ApRowPtr row = index >= 0 && index < n ? ap_rows[index] : nullptr;
                if (row && !result.model_number.empty()) row->model = result.model_number;
                result.idx = index;
                result.name = row ? row->name : "";
                if (row && index != first) result.wlc_ip = row->wlc_ip;
                report_result(result);
            }
        };
        while (auto finished = pool->next_finished()) {
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
                const int index = to_poll[finished->index];
                const ApRowPtr& row = ap_rows[index];
                report_rows(PollResult{index, row ? row->ip : "", row ? row->model : "",
                                       "Failed: " + error, "", "", error},
                            failed);
                continue;
            }
            int& count = is_success(result.status) ? success : failed;
            report_rows(std::move(result), count);
        }
    }

    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(options.clock->now() - started).count();
    _log("[AP] Done. Success=" + std::to_string(success) + " Fail=" + std::to_string(failed) +
         " Time=" + std::to_string(elapsed) + "s");
    return {success, failed};
}

}  // namespace quorvane
