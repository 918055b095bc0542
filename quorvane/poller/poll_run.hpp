#pragma once
// The size of a poll run's worker pool: one worker per AP up to 49 APs, then a half, a
// quarter and a tenth of the count (rounded up) from 50, 100 and 500 APs on; never
// below 1.

namespace quorvane {

int compute_max_workers(long long ap_filtered_cnt);

}  // namespace quorvane
