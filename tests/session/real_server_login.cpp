// Logs in to one SSH server through the session layer, as the engine would, and prints
// what was negotiated and how a command went, or the cause of the failure:
//   real_server_login HOST PORT USER PASSWORD LEGACY(yes|no) KNOWN_HOSTS
//   algorithms: KEX HOSTKEY CIPHER MAC
//   prompt: NAME
//   show clock: LAST LINE
// or "failed: REASON" with exit status 1.

#include <iostream>

#include "quorvane/engine/ssh/ssh_connect.hpp"
#include "quorvane/engine/ssh/ssh_transport.hpp"

int main(int argc, char** argv) {
    using namespace quorvane;
    if (argc != 7) {
        std::cerr << "usage: real_server_login HOST PORT USER PASSWORD yes|no KNOWN_HOSTS\n";
        return 2;
    }
    DeviceParams params;
    params.host = argv[1];
    params.port = std::stoi(argv[2]);
    params.username = argv[3];
    params.password = argv[4];
    params.legacy_algorithms = std::string(argv[5]) == "yes";
    params.known_hosts_path = argv[6];
    params.conn_timeout = params.banner_timeout = params.auth_timeout = params.timeout = 10;
    try {
        {
            SshInterrupter interrupter;
            const SshTransport transport(params, interrupter);
            ssh_key key = nullptr;
            ssh_get_server_publickey(transport.session(), &key);
            std::cout << "algorithms: " << ssh_get_kex_algo(transport.session()) << " "
                      << ssh_key_type_to_char(ssh_key_type(key)) << " "
                      << ssh_get_cipher_out(transport.session()) << " "
                      << ssh_get_hmac_out(transport.session()) << "\n";
            ssh_key_free(key);
        }
        const DeviceSessionPtr session = ssh_connect(params);
        std::cout << "prompt: " << session->base_prompt() << "\n";
        std::string output = session->send_command("show clock");
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
            output.pop_back();
        }
        std::cout << "show clock: " << output.substr(output.find_last_of('\n') + 1) << "\n";
        session->disconnect();
        return 0;
    } catch (const std::exception& e) {
        std::cout << "failed: " << failure_reason(e) << "\n";
        return 1;
    }
}
