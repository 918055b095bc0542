#pragma once
// IniStore: the engine's persistent settings in config.ini, with secret keys scrambled
// on disk and handed out in plain text.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "quorvane/config/ini_document.hpp"

namespace quorvane {

// True when the lower-cased key contains "pasw", "password" or "enable".
bool is_secret_key(const std::string& key);

// Reading errors of the file (IniParseError, see ini_format.hpp; also a file whose first
// entry is no section header and that holds no setting of the older flat form), a file
// that exists but cannot be read and errors of saving (std::filesystem::filesystem_error) reach the
// caller; only a missing file counts as absent. `set` and `bulk_set` raise
// std::invalid_argument for a section, key or value that config.ini could not read back,
// and then store nothing.
class IniStore {
  public:
    explicit IniStore(std::string path);

    std::string get(const std::string& sec, const std::string& key,
                    const std::string& default_value = "") const;
    void set(const std::string& sec, const std::string& key, const std::string& val);
    void bulk_set(const std::string& sec,
                  const std::vector<std::pair<std::string, std::string>>& mapping);
    // Replaces the file while holding the lock every writer of config.ini takes.
    void save() const;
    // Under the same lock: reads the file afresh into `cfg`, lets `change` edit it and
    // saves, so that whatever others saved meanwhile stays. `change` must not save. On an
    // error `cfg` is left as it was and the error reaches the caller.
    void update(const std::function<void(IniStore&)>& change);

    std::string path;
    IniDocument cfg;

  private:
    void convert_legacy(const std::string& content, std::size_t first_entry_line);
    void write_locked() const;
    void fill_in_defaults();
    void migrate_old_address_key();
    static std::string stored_form(const std::string& key, const std::string& val);
};

}  // namespace quorvane
