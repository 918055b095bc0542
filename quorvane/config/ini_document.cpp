#include "quorvane/config/ini_document.hpp"

#include <algorithm>
#include <stdexcept>

#include "quorvane/config/ini_key.hpp"

namespace quorvane {

namespace {

const std::string kDefaultSection = "DEFAULT";

IniDocument::Entries::iterator find_key(IniDocument::Entries& entries, const std::string& key) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const auto& entry) { return entry.first == key; });
}

IniDocument::Entries::const_iterator find_key(const IniDocument::Entries& entries,
                                              const std::string& key) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const auto& entry) { return entry.first == key; });
}

}  // namespace

std::vector<std::string> IniDocument::sections() const {
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const Section& section : sections_) names.push_back(section.name);
    return names;
}

bool IniDocument::has_section(const std::string& name) const { return find(name) != nullptr; }

void IniDocument::add_section(const std::string& name) {
    if (name == kDefaultSection || find(name) != nullptr) return;
    sections_.push_back(Section{name, {}});
}

void IniDocument::remove_section(const std::string& name) {
    std::erase_if(sections_, [&](const Section& section) { return section.name == name; });
}

std::optional<std::string> IniDocument::get(const std::string& section,
                                            const std::string& key) const {
    const std::string folded = fold_key(key);
    const Entries* own = nullptr;
    if (section != kDefaultSection) {
        const Section* found = find(section);
        if (found == nullptr) return std::nullopt;
        own = &found->entries;
    }
    if (own != nullptr) {
        if (auto it = find_key(*own, folded); it != own->end()) return it->second;
    }
    if (auto it = find_key(defaults_, folded); it != defaults_.end()) return it->second;
    return std::nullopt;
}

bool IniDocument::has_option(const std::string& section, const std::string& key) const {
    return get(section, key).has_value();
}

void IniDocument::set(const std::string& section, const std::string& key,
                      const std::string& value) {
    Entries* entries = &defaults_;
    if (section != kDefaultSection) {
        Section* found = find(section);
        if (found == nullptr) throw std::out_of_range("no section [" + section + "]");
        entries = &found->entries;
    }
    const std::string folded = fold_key(key);
    if (auto it = find_key(*entries, folded); it != entries->end()) {
        it->second = value;
    } else {
        entries->emplace_back(folded, value);
    }
}

bool IniDocument::remove_option(const std::string& section, const std::string& key) {
    Entries* entries = &defaults_;
    if (section != kDefaultSection) {
        Section* found = find(section);
        if (found == nullptr) return false;
        entries = &found->entries;
    }
    auto it = find_key(*entries, fold_key(key));
    if (it == entries->end()) return false;
    entries->erase(it);
    return true;
}

IniDocument::Section* IniDocument::find(const std::string& name) {
    auto it = std::find_if(sections_.begin(), sections_.end(),
                           [&](const Section& section) { return section.name == name; });
    return it == sections_.end() ? nullptr : &*it;
}

const IniDocument::Section* IniDocument::find(const std::string& name) const {
    auto it = std::find_if(sections_.begin(), sections_.end(),
                           [&](const Section& section) { return section.name == name; });
    return it == sections_.end() ? nullptr : &*it;
}

}  // namespace quorvane
