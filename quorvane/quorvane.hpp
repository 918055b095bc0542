#pragma once
// Everything a host needs to drive the engine library.

#include "quorvane/config/ini_document.hpp"
#include "quorvane/config/ini_store.hpp"
#include "quorvane/config/secrets.hpp"
#include "quorvane/engine/clock.hpp"
#include "quorvane/engine/device_session.hpp"
#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/engine_options.hpp"
#include "quorvane/engine/errors.hpp"
#include "quorvane/engine/special_cmd.hpp"
#include "quorvane/engine/ssh/descriptor_budget.hpp"
#include "quorvane/engine/ssh/ssh_connect.hpp"
#include "quorvane/engine/stdout_lines.hpp"
#include "quorvane/engine/worker_pool.hpp"
#include "quorvane/paths/paths.hpp"
