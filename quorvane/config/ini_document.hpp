#pragma once
// An ordered INI document: sections in first-seen order, keys in first-seen order,
// plus the DEFAULT section whose keys every section inherits.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

class IniDocument {
  public:
    using Entries = std::vector<std::pair<std::string, std::string>>;
    struct Section {
        std::string name;
        Entries entries;
    };

    // Section names in order, without DEFAULT.
    std::vector<std::string> sections() const;
    bool has_section(const std::string& name) const;
    // Adds an empty section at the end when missing.
    void add_section(const std::string& name);
    void remove_section(const std::string& name);

    // Looks the key up in the section, then in DEFAULT. Keys are matched lower-cased.
    std::optional<std::string> get(const std::string& section, const std::string& key) const;
    bool has_option(const std::string& section, const std::string& key) const;
    // Requires the section to exist (or be DEFAULT); keeps the place of an existing key.
    void set(const std::string& section, const std::string& key, const std::string& value);
    bool remove_option(const std::string& section, const std::string& key);

    const Entries& defaults() const { return defaults_; }
    const std::vector<Section>& all_sections() const { return sections_; }

  private:
    Section* find(const std::string& name);
    const Section* find(const std::string& name) const;

    Entries defaults_;
    std::vector<Section> sections_;
};

}  // namespace quorvane
