// The command line of an access point: user and privileged mode, identification,
// flash and /tmp inspection, clean-up, reload, file transfers and image downloads.
#pragma once

#include "cli.hpp"

namespace fleetsim {

class ApCli : public Cli {
  public:
    using Cli::Cli;

  protected:
    std::string prompt() const override { return cfg_.hostname + (enabled_ ? "#" : ">"); }
    bool dispatch(const Words& words) override;

  private:
    bool privileged(const Words& words);
    void enable();
    std::string show_inventory() const;
    std::string show_version() const;
    std::string show_boot() const;
    std::string show_filesystems() const;
    std::string show_flash() const;
    std::string show_image_integrity() const;
    void reload();
    void copy(const std::string& source);
    void run_copy(const std::string& source, bool ok);
    void archive_download(const std::string& source);

    bool enabled_ = false;
};

}  // namespace fleetsim
