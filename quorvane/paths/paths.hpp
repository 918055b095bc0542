#pragma once
// Application base directory, run folders, output files and the reachability probe.
// Everything here is stateless apart from the folders it creates and may be called
// from any thread.

#include <optional>
#include <string>

namespace quorvane {

// Computed once when the library is loaded (see module_load.cpp).
extern const std::string BASE_DIR;
extern const std::string CONFD;
extern const std::string DATA_ROOT;

// The base directory: QUORVANE_BASE_DIR when set at load, otherwise the rule below.
std::string get_app_base_dir();

// The pure form of the base-directory rule, so it can be tested on made-up paths.
// A packaged host uses the folder of its executable (or the folder holding the
// Name.app bundle around it); otherwise the folder of the library file is used.
std::string base_dir_for(bool packaged, const std::string& executable_path,
                         const std::string& library_path);

// The host counts as packaged when the engine library lies inside the folder of the
// running executable or, for an application bundle, inside the bundle.
bool is_packaged_layout(const std::string& executable_path, const std::string& library_path);

std::string ensure_dir(const std::string& path);
std::string today_data_dir();

// Run folder allocation of an engine: returns {run_id, data_dir}.
struct RunFolder {
    std::string run_id;
    std::string data_dir;
};
RunFolder allocate_run_folder();
// The numbering rule on its own: next run number from the entries of a dated folder.
int next_run_number(const std::string& dated_dir);

void _safe_write_append(const std::string& path, const std::string& text);
std::string _safe_filename(const std::string& name);
bool _is_ipv4(const std::string& s);
bool ssh_port_open(const std::string& ip, int port = 22, double timeout = 5);

}  // namespace quorvane
