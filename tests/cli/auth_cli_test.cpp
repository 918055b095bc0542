// `quorvane auth-loop` and `quorvane deauth` as a user runs them, against the simulated
// fleet.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program with its standard output and standard error in files of their own.
class Program {
  public:
    explicit Program(const std::vector<std::string>& args) {
        static int serial = 0;
        const fs::path dir = fs::temp_directory_path() / ("auth-cli-" + std::to_string(++serial));
        fs::create_directories(dir);
        out_path_ = dir / "out";
        err_path_ = dir / "err";
        std::vector<std::string> argv_text = {QUORVANE_CLI_PATH};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_text) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env_text = {"QUORVANE_DIAGNOSTICS=stderr"};
        for (char** e = environ; *e; ++e) {
            if (std::string(*e).rfind("QUORVANE_DIAGNOSTICS=", 0) != 0) env_text.push_back(*e);
        }
        std::vector<char*> env;
        for (auto& e : env_text) env.push_back(e.data());
        env.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    // Waits up to `limit` for standard error to hold `text`.
    bool wait_for_log(const std::string& text, std::chrono::seconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (err().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void signal(int sig) const { kill(pid_, sig); }

    // The exit status, or -1 when the program had to be killed after `limit`.
    int wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int raw = 0;
        while (pid_ > 0) {
            if (waitpid(pid_, &raw, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            }
            if (std::chrono::steady_clock::now() > end) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &raw, 0);
                pid_ = -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    std::string out() const { return read_text(out_path_); }
    std::string err() const { return read_text(err_path_); }

    // Where --simulate left configuration and output.
    fs::path simulated_base() const {
        const std::string marker = "configuration and output are under ";
        const std::string text = err();
        const auto at = text.find(marker);
        if (at == std::string::npos) return {};
        return text.substr(at + marker.size(), text.find('\n', at) - at - marker.size());
    }

  private:
    pid_t pid_ = -1;
    fs::path out_path_;
    fs::path err_path_;
};

std::vector<fs::path> deleted_client_files(const fs::path& base) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(base / "data")) {
        if (entry.path().filename().string().rfind("deleted_clients_", 0) == 0) {
            files.push_back(entry.path());
        }
    }
    return files;
}

TEST(AuthCli, UsageErrorsExitWithTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"deauth"}, "give the MAC addresses"},
        {{"deauth", "0011.22aa.bbcc", "00:11:22:zz:bb:cc"}, "'00:11:22:zz:bb:cc' is not a MAC"},
        {{"deauth", "0011.22aa.bbc"}, "'0011.22aa.bbc' is not a MAC"},
        {{"deauth", "00:11:22-aa:bb:cc"}, "is not a MAC"},
        {{"auth-loop", "--window", "soon"}, "--window needs whole seconds"},
        {{"auth-loop", "--window"}, "--window needs a number"},
        {{"auth-loop", "--yes"}, "--yes only goes with --deauth"},
        {{"auth-loop", "extra"}, "unexpected argument 'extra'"},
        {{"auth-loop", "--deauth", "--simulate"}, "add --yes to deauthenticate"},
    };
    for (const auto& c : cases) {
        Program p(c.args);
        EXPECT_EQ(p.wait(), 2) << c.args.back();
        EXPECT_THAT(p.err(), HasSubstr(c.message));
        EXPECT_EQ(p.out(), "");
    }
}

TEST(AuthCli, HelpShowsAnExampleForEachCommand) {
    for (const std::string command : {"auth-loop", "deauth"}) {
        Program p({command, "--help"});
        EXPECT_EQ(p.wait(), 0);
        EXPECT_THAT(p.out(), HasSubstr("Example: quorvane " + command));
    }
}

// Heavy controller actions are opted into: only --collect has every controller write a
// trace archive and a core dump.
TEST(AuthCli, SimulatedRunPrintsOnlyTheJsonObjectAndCollectsOnlyWhenAsked) {
    for (const bool collect : {false, true}) {
        // Longer than the simulated transient clients take to finish authenticating.
        std::vector<std::string> args = {"auth-loop", "--simulate", "--window", "4",
                                         "--deauth",  "--yes",      "--json"};
        if (collect) args.push_back("--collect");
        Program p(args);
        ASSERT_EQ(p.wait(), 0) << p.err();
        const auto result = nlohmann::json::parse(p.out());
        EXPECT_EQ(result["delete_list"],
                  nlohmann::json({"0011.22aa.0001", "0011.22aa.0002", "0022.33bb.0001"}));
        EXPECT_EQ(result["deauthenticated"], true);
        const std::string file = result["file"].get<std::string>();
        std::string expected_lines;
        for (const auto& mac : result["delete_list"]) {
            expected_lines += mac.get<std::string>() + "\n";
        }
        EXPECT_THAT(read_text(file),
                    ::testing::EndsWith(std::string(50, '=') + "\n" + expected_lines));
        const std::string log = read_text(fs::path(file).parent_path() / "quorvane.log");
        EXPECT_THAT(log, HasSubstr("[AUTH] Deauth 0022.33bb.0001"));
        EXPECT_EQ(log.find("[DEBUG][CORE] SUCCESS") != std::string::npos, collect);

        const fs::path base = p.simulated_base();
        ASSERT_FALSE(base.empty()) << p.err();
        EXPECT_EQ(
            read_text(base / "confd" / "config.ini")
                    .find("[CRONJOB]\ncollect_archive_wnccore_count = 1\n") != std::string::npos,
            collect);
    }
}

// At a terminal, what would change on the devices is listed, one line each, before the
// question; answering no changes nothing.
TEST(AuthCli, AtATerminalChangesAreListedThenAsked) {
    struct Case {
        std::string args;
        int status;
        std::string listed;  // between the heading and the question
        std::string question;
        std::string declined;
    };
    const Case cases[] = {
        {"auth-loop --simulate --window 4 --deauth --collect", 0,
         "  0022.33bb.0001  stuck on WLC2\r\n",
         "Deauthenticate these 3 client(s) on all 2 controller(s)?", "not deauthenticated"},
        {"aps poll --simulate 'show clock' '%reload%'", 1,
         "15 AP(s) on 2 controller(s) will get\r\n  reload\r\n", "Go ahead? [y/N]",
         "not confirmed; no AP was polled"},
    };
    for (const auto& c : cases) {
        const std::string line = std::string("printf 'n\\n' | script -qec \"'") +
                                 QUORVANE_CLI_PATH + "' " + c.args + "\" /dev/null";
        FILE* pipe = popen(line.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        const int raw = pclose(pipe);
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << out;
        const auto question = out.find(c.question);
        ASSERT_NE(question, std::string::npos) << out;
        EXPECT_THAT(out.substr(0, question), HasSubstr(c.listed));
        EXPECT_THAT(out.substr(question), HasSubstr(c.declined));
        EXPECT_THAT(out, Not(HasSubstr("[AUTH] Deauth")));
        // Without -v the engine's log lines stay off the terminal.
        EXPECT_THAT(out, Not(HasSubstr("[WLC] Connecting")));
    }
}

TEST(AuthCli, DeauthNormalisesAndSendsToEveryController) {
    Program p({"deauth", "--simulate", "00-11-22-AA-00-01", "0022.33BB.0001"});
    ASSERT_EQ(p.wait(), 0) << p.err();
    EXPECT_EQ(p.out(), "");
    const std::string out = p.err();
    for (const std::string mac : {"0011.22aa.0001", "0022.33bb.0001"}) {
        const std::string line = "[AUTH] Deauth " + mac + "\n";
        std::size_t n = 0;
        for (auto at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) ++n;
        EXPECT_EQ(n, 2u) << mac;
    }
    EXPECT_THAT(p.err(), HasSubstr("sent 2 deauthentication(s) to each of 2 controller(s)"));
}

TEST(AuthCli, CtrlCInTheWindowExits130WithoutRecording) {
    Program p({"auth-loop", "--simulate", "--window", "900"});
    ASSERT_TRUE(p.wait_for_log("[AUTH] Waiting 15 minutes...", std::chrono::seconds(60)))
        << p.err();
    p.signal(SIGINT);
    EXPECT_EQ(p.wait(std::chrono::seconds(30)), 130) << p.err();
    EXPECT_THAT(p.err(), HasSubstr("stopping"));
    EXPECT_THAT(p.out(), Not(HasSubstr("[AUTH] Reconnecting")));
    const fs::path base = p.simulated_base();
    ASSERT_FALSE(base.empty()) << p.err();
    EXPECT_TRUE(deleted_client_files(base).empty());
}

}  // namespace
