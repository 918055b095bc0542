#pragma once
// The two forms of the QCA model filter used by the AP list fetch.

#include <functional>
#include <string>

#include "quorvane/inventory/ap_row.hpp"

namespace quorvane {

// The rows whose model passes the QCA test, in order.
ApRows keep_qca_models(const ApRows& rows);

// The same, announcing the filter, each removed row and the count kept through `log`.
ApRows keep_qca_models_logged(const ApRows& rows,
                              const std::function<void(const std::string&)>& log);

}  // namespace quorvane
