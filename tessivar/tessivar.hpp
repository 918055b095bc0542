#pragma once

// The offline flash analyser: per-AP log checks and the folder analysis with its report.
#include "tessivar/analyze.hpp"   // IWYU pragma: export
#include "tessivar/ap_facts.hpp"  // IWYU pragma: export
#include "tessivar/checks.hpp"   // IWYU pragma: export
