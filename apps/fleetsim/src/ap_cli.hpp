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
    DeviceState state() const {
        return dev_.with_state([](const DeviceState& s) { return s; });
    }
    void reload();
    void copy(const std::string& source);
    void run_copy(const std::string& source, bool ok);
    void archive_download(const std::string& source);

    bool enabled_ = false;
};

}  // namespace fleetsim
