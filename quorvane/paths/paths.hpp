#pragma once
// Application base directory, run folders, output files and the reachability probe.
// Everything here is stateless apart from the folders it creates and may be called
// from any thread.

#include <stdexcept>
#include <string>

namespace quorvane {

// Computed once when the library is loaded (see module_load.cpp); empty when the base
// directory could not be determined.
extern const std::string BASE_DIR;
extern const std::string CONFD;
extern const std::string DATA_ROOT;

// The library could not set up its folders when it was loaded. The text gives the reason
// and the hint about QUORVANE_BASE_DIR.
class LoadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Raises the load failure, if there was one: the library stays loaded so that its host
// keeps running, but nothing that needs its folders can start.
void require_loaded();

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
// DATA_ROOT/YYYY/MM/DD for the local date, created with its parents. Raises LoadError
// after a failed load.
std::string today_data_dir();

// Run folder allocation of an engine: returns {run_id, data_dir}. Raises LoadError after
// a failed load.
struct RunFolder {
    std::string run_id;
    std::string data_dir;
};
RunFolder allocate_run_folder();
// The run folder in the given dated folder: RUN followed by next_run_number(), created
// exclusively. When that name is taken (another engine was quicker, or a file has the
// name) the next number is tried, so engines started together never share a folder.
RunFolder create_run_folder(const std::string& dated_dir);
// The numbering rule on its own, in decimal digits: one more than the highest number among
// the folders named "RUN..." whose rest, once every "RUN" is removed, is decimal digits
// and nothing else; "1" when there is none. Numbers of any length are counted, so no
// number wraps.
std::string next_run_number(const std::string& dated_dir);

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
