// IniStore over a fuzzed config.ini, then one `set` and a save. Input: the file's bytes,
// then section, key and value, separated by NUL bytes. Whatever the store writes, by
// itself or after an accepted `set`, must load again.
#include <optional>
#include <stdexcept>

#include "fuzz/fuzz_support.hpp"
#include "quorvane/config/ini_format.hpp"
#include "quorvane/config/ini_key.hpp"
#include "quorvane/config/ini_store.hpp"
#include "quorvane/paths/utf8.hpp"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> in = fuzz_support::fields(fuzz_support::as_text(data, size), 4);
    const std::string& sec = in[1];
    const std::string& key = in[2];
    const std::string& val = in[3];
    const fs::path folder = fuzz_support::fresh_folder("store") / "confd";
    fs::create_directories(folder);
    const std::string path = (folder / "config.ini").string();
    fuzz_support::write_bytes(path, in[0]);

    std::optional<quorvane::IniStore> store;
    try {
        store.emplace(path);
    } catch (const quorvane::IniParseError&) {
        return 0;
    }
    quorvane::IniStore loaded_again(path);  // a conversion or default must not spoil the file
    FUZZ_CHECK(quorvane::write_ini(loaded_again.cfg) == quorvane::write_ini(store->cfg));

    try {
        store->set(sec, key, val);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    store->save();
    const quorvane::IniStore reloaded(path);
    const std::string_view line_breaks = "\r\n";
    const bool plain_value = val.find_first_of(line_breaks) == std::string::npos &&
                             quorvane::trim_unicode_space(val).size() == val.size();
    const bool moved_on_load = sec == "WLC" && quorvane::fold_key(key) == "wlcipaddr";
    if (plain_value && !moved_on_load && !quorvane::is_secret_key(key)) {
        FUZZ_CHECK(reloaded.get(sec, key) == val);
    }
    return 0;
}
