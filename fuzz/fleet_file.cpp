// The simulator's fleet file loader on any text: it accepts or refuses with an error, and a
// fleet it accepts is written back in a form it reads to the same fleet.
#include <stdexcept>

#include "fleetsim/fleet.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fleetsim::Fleet fleet;
    try {
        fleet = fleetsim::parse_fleet(std::string(fuzz_support::as_text(data, size)));
    } catch (const std::exception&) {
        return 0;
    }
    const std::string written = fleetsim::fleet_to_json(fleet);
    const fleetsim::Fleet again = fleetsim::parse_fleet(written);
    FUZZ_CHECK(fleetsim::fleet_to_json(again) == written);
    return 0;
}
