// orbivane-tube from the outside: exit codes, no files left by a failed run, CSV lines per record.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kTool = ORBIVANE_TUBE_TOOL;

// A fresh directory for one test, removed with everything in it afterwards.
class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "orbivane-tube-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    // Runs the tool with args; returns its exit code, stdout in out and stderr in err.
    int run(const std::string& args) {
        const std::string errFile = dir + "/stderr.txt";
        std::FILE* p = popen((kTool + " " + args + " 2>'" + errFile + "'").c_str(), "r");
        out.clear();
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
            out.append(buf, n);
        }
        const int status = pclose(p);
        std::ifstream e(errFile);
        err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
        std::remove(errFile.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Number of entries in the test directory.
    int entries() {
        std::FILE* p = popen(("ls -A '" + dir + "' | wc -l").c_str(), "r");
        int count = -1;
        if (std::fscanf(p, "%d", &count) != 1) {
            count = -1;
        }
        pclose(p);
        return count;
    }
    static long lines(const std::string& path) {
        std::ifstream f(path);
        long count = 0;
        std::string line;
        while (std::getline(f, line)) {
            ++count;
        }
        return count;
    }
    // The number after `key ` in the summary line.
    long field(const std::string& key) const {
        const size_t at = out.find(key + " ");
        return at == std::string::npos ? -1 : std::stol(out.substr(at + key.size() + 1));
    }

    std::string dir;  // scratch directory of this test
    std::string out;  // stdout of the last run
    std::string err;  // stderr of the last run
};

}  // namespace

TEST_F(ToolTest, BadArgumentsExitTwoWithOneLineAndLeaveNoFile) {
    const std::string csv = " --csv '" + dir + "/v.csv' --rings-csv '" + dir + "/r.csv'";
    const char* bad[] = {
        "--bogus",      "--view 5",     "--view -1", "--view two",   "--view",      "--detail abc", "--detail 0.05",
        "--detail 4.5", "--detail nan", "--detail",  "--draw 40000", "--variant 3", "extra",
    };
    for (const char* args : bad) {
        SCOPED_TRACE(args);
        EXPECT_EQ(run(std::string(args) + csv), 2);
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(entries(), 0);
    }
    // A missing file argument, and unwritable files (even when the other one was fine).
    EXPECT_EQ(run("--view 0 --csv"), 2);
    EXPECT_EQ(run("--view 0 --detail 0.4 --csv '" + dir + "/missing/v.csv'"), 2);
    EXPECT_NE(err.find("missing/v.csv"), std::string::npos) << err;
    EXPECT_EQ(run("--view 0 --detail 0.4 --csv '" + dir + "/v.csv' --rings-csv '" + dir + "/missing/r.csv'"), 2);
    EXPECT_EQ(entries(), 0);
    EXPECT_EQ(run("--view 0 --detail 0.4 --csv '" + dir + "' "), 2);  // a directory
    EXPECT_EQ(entries(), 0);
}

TEST_F(ToolTest, WritesOneCsvLinePerVertexAndRing) {
    const std::string v = dir + "/v.csv";
    const std::string r = dir + "/r.csv";
    ASSERT_EQ(run("--view 0 --detail 0.4 --csv '" + v + "' --rings-csv '" + r + "'"), 0) << err;
    EXPECT_EQ(field("ringSize"), 74);
    EXPECT_EQ(field("vertexCount"), 45537);
    EXPECT_EQ(field("rings"), 615);
    EXPECT_NE(out.find("light 40/70/46/3"), std::string::npos) << out;
    EXPECT_EQ(lines(v), 45537);
    EXPECT_EQ(lines(r), 615);
    EXPECT_EQ(entries(), 2);  // no temporary file left

    std::ifstream f(v);
    std::string first;
    std::getline(f, first);
    EXPECT_EQ(std::count(first.begin(), first.end(), ','), 9) << first;
    EXPECT_EQ(first.rfind("0,", 0), 0u) << first;
    std::ifstream g(r);
    std::getline(g, first);
    EXPECT_EQ(std::count(first.begin(), first.end(), ','), 4) << first;

    // An odd draw picks the narrow highlight; an existing file is replaced whole.
    ASSERT_EQ(run("--view 1 --detail 0.4 --draw 3 --no-bake --palette-shift --variant 1 --csv '" + v + "'"), 0) << err;
    EXPECT_NE(out.find("view 1:"), std::string::npos) << out;
    EXPECT_NE(out.find("light 10/70/30/13"), std::string::npos) << out;
    EXPECT_EQ(lines(v), field("vertexCount"));
}
