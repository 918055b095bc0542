// The command list of an image download, built from the [FTP] settings.

#include <string>
#include <vector>

#include "quorvane/engine/engine.hpp"

namespace quorvane {

std::vector<std::string> Quorvane::_build_image_download_cmd() {
    const std::string proto = ini.get("FTP", "ftp_proto", "TFTP");
    const std::string addr = ini.get("FTP", "ftp_addr", "");
    const std::string path = ini.get("FTP", "ftp_path", "");
    const std::string user = ini.get("FTP", "ftp_user", "");
    const std::string pasw = ini.get("FTP", "ftp_pasw", "");

    const auto slash = path.find_last_of('/');
    const std::string file_name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto first = path.find_first_not_of('/');
    const std::string server_path = first == std::string::npos ? "" : path.substr(first);

    if (proto == "SFTP") {
        return {"ip sftp username " + user, "ip sftp password " + pasw,
                "copy sftp://" + addr + "/" + server_path + " flash:" + file_name};
    }
    return {"copy tftp://" + addr + "/" + server_path + " flash:" + file_name};
}

}  // namespace quorvane
