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

// The base directory: QUORVANE_BASE_DIR when set (and not empty), made absolute;
// otherwise base_dir_for() applied to the running executable and the library file, both
// with symbolic links resolved.
std::string get_app_base_dir();

// The pure form of the base-directory rule, so it can be tested on made-up paths.
// A packaged host uses the folder of its executable (or the folder holding the
// Name.app bundle around it); otherwise the folder of the library file is used.
std::string base_dir_for(bool packaged, const std::string& executable_path,
                         const std::string& library_path);

// The host counts as packaged when the engine library lies inside the folder of the
// running executable or, for an application bundle, inside the bundle.
bool is_packaged_layout(const std::string& executable_path, const std::string& library_path);

// File-system failures of these raise std::filesystem::filesystem_error.
std::string ensure_dir(const std::string& path);
// DATA_ROOT/YYYY/MM/DD for the local date, created with its parents.
std::string today_data_dir();

// Run folder allocation of an engine: returns {run_id, data_dir}.
struct RunFolder {
    std::string run_id;
    std::string data_dir;
};
RunFolder allocate_run_folder();
// The numbering rule on its own: one more than the highest number among the folders
// named "RUN..." (every "RUN" removed, the rest read as an optionally signed decimal with
// blanks around it), or 1 when there is none.
int next_run_number(const std::string& dated_dir);

// Appends `text` to the file (parents created), one write call per append so that
// concurrent appends to one file never interleave. Bytes that are not UTF-8 are dropped.
void _safe_write_append(const std::string& path, const std::string& text);
// Letters and digits of any script, "_", "-" and "." stay; anything else becomes "_";
// trailing dots go; at most 120 characters; "UNKNOWN" instead of an empty result.
std::string _safe_filename(const std::string& name);
bool _is_ipv4(const std::string& s);
// True when a TCP connection to (ip, port) opens within `timeout` seconds, name
// resolution included. Never raises; leaves no socket open.
bool ssh_port_open(const std::string& ip, int port = 22, double timeout = 5);

}  // namespace quorvane
