// Plays every scenario in scenarios/ and compares its trace with the expected NAME.trace.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim/runner.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

class ScenarioFile : public testing::TestWithParam<std::string> {};

TEST_P(ScenarioFile, TraceMatchesExpected) {
    const fs::path json = fs::path(HALVYN_SCENARIO_DIR) / (GetParam() + ".json");
    const fs::path expectedPath = fs::path(HALVYN_SCENARIO_DIR) / (GetParam() + ".trace");
    ASSERT_TRUE(fs::exists(expectedPath)) << "no expected trace " << expectedPath;
    std::ostringstream out, err;
    ASSERT_EQ(runScenario(readFile(json), out, err), 0) << err.str();
    const auto got = lines(out.str());
    const auto want = lines(readFile(expectedPath));
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        ASSERT_EQ(got[i], want[i]) << "first difference at line " << i + 1 << " of " << expectedPath;
    ASSERT_EQ(got.size(), want.size()) << expectedPath;
}

std::vector<std::string> scenarioNames() {
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(HALVYN_SCENARIO_DIR)) {
        if (entry.path().extension() == ".json") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ScenarioFile, testing::ValuesIn(scenarioNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string n;
                             for (char c : info.param) n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

// `out` gets standard output, or standard error with `errors`.
int runBinary(const std::string& args, std::string& out, bool errors = false) {
    const std::string cmd = std::string(HALVYN_SIM_BINARY) + " " + args + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    out.clear();
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HalvynSimBinary, ExitStatusAndStdoutFollowTheContract) {
    std::string out;
    EXPECT_EQ(runBinary(std::string(HALVYN_SCENARIO_DIR) + "/demo.json", out), 0);
    EXPECT_EQ(out, readFile(fs::path(HALVYN_SCENARIO_DIR) / "demo.trace"));
    EXPECT_EQ(runBinary("", out), 2);
    EXPECT_EQ(runBinary("--no-such-option", out), 2);
    // Help and version answer on standard output and succeed, before any scenario is named.
    EXPECT_EQ(runBinary("--help", out), 0);
    EXPECT_EQ(out.rfind("usage: halvyn-sim [--window | --frames DIR] SCENARIO.json\n", 0), 0u) << out;
    EXPECT_EQ(runBinary("-h /nonexistent/scenario.json", out), 0);
    EXPECT_EQ(runBinary("--version", out), 0);
    EXPECT_EQ(out, "halvyn-sim 1.0.0\n");
    EXPECT_EQ(runBinary("/nonexistent/scenario.json", out), 2);
    EXPECT_EQ(out, "");
    const fs::path bad = fs::temp_directory_path() / "halvyn-bad-scenario.json";
    std::ofstream(bad) << R"({"events":[{"at":0,"do":"no.such"}]})";
    EXPECT_EQ(runBinary(bad.string(), out), 2);
    EXPECT_EQ(out, "");
    fs::remove(bad);
}

TEST(HalvynSimBinary, OnlyARegularFileIsReadAsAScenario) {
    std::string err;
    const fs::path dir = fs::temp_directory_path();
    EXPECT_EQ(runBinary(dir.string(), err, true), 2);
    EXPECT_EQ(err, "halvyn-sim: '" + dir.string() + "' is not a regular file\n");
    // A FIFO with no writer would block a plain open for good.
    const fs::path fifo = dir / ("halvyn-scenario-fifo-" + std::to_string(::getpid()));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(runBinary(fifo.string(), err, true), 2);
    EXPECT_EQ(err, "halvyn-sim: '" + fifo.string() + "' is not a regular file\n");
    fs::remove(fifo);
}

}  // namespace
}  // namespace halvyn
