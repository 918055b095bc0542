// The command line of a wireless LAN controller: inventory tables, client lists and
// details, deauthentication and the debug-collection requests.
#pragma once

#include "cli.hpp"

namespace fleetsim {

class ControllerCli : public Cli {
  public:
    ControllerCli(Terminal& terminal, DeviceRecord& device, const std::vector<const Device*>& aps)
        : Cli(terminal, device), aps_(aps) {}

  protected:
    std::string prompt() const override { return cfg_.hostname + "#"; }
    bool dispatch(const Words& words) override;

  private:
    bool lists(const Device& ap) const;
    // The clients as they stand now: transient ones settle once their time has come.
    std::vector<Client> current_clients() const;
    std::string show_version() const;
    std::string show_ap_summary() const;
    std::string show_ap_tag_summary() const;
    std::string show_client_summary() const;
    std::string client_detail(const std::string& mac) const;
    void deauthenticate(const std::string& mac);
    void trace_archive(const std::string& target);
    void wncd_core();

    const std::vector<const Device*>& aps_;
};

}  // namespace fleetsim
