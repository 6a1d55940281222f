// velora-cli's argument parsing and exit statuses, on the virtual line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "app/cli/cli.h"
#include "emulator/demo_show.h"
#include "tests/support/virtual_port_factory.h"
#include "upgrade/upgrade_writer.h"

namespace velora::cli {
namespace {

namespace fs = std::filesystem;
using velora::testing::ManualClock;
using velora::testing::VirtualPortFactory;

std::optional<Options> parse(std::vector<std::string> args) {
    std::ostringstream err;
    return parseArguments(args, err);
}

TEST(CliArguments, CommandsRegionsAndOptions) {
    auto o = parse({"--port", "/dev/pts/3", "--yes", "--retries", "2", "read", "scenes=2/10-3/1", "show"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->command, "read");
    EXPECT_EQ(o->region, "scenes");
    EXPECT_EQ(o->firstScene, 41u);
    EXPECT_EQ(o->lastScene, 64u);
    EXPECT_EQ(o->port, "/dev/pts/3");
    EXPECT_TRUE(o->yes);
    EXPECT_EQ(o->retries, 2);
    // A range, one scene, a whole programme (programme/scene, 1-based).
    for (const auto& [range, first, last] :
         std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>>{{"scenes=2/5-2/9", 36, 40},
                                                                            {"scenes=2/5", 36, 36},
                                                                            {"scenes=2", 32, 63},
                                                                            {"scenes=17", 512, 527},
                                                                            {"scenes=48", 1008, 1021}}) {
        o = parse({"read", range, "x"});
        ASSERT_TRUE(o) << range;
        EXPECT_EQ(std::pair(o->firstScene, o->lastScene), std::pair(first, last)) << range;
    }
    EXPECT_EQ(parse({"verify", "all", "x"})->region, "all");
    EXPECT_EQ(parse({"version"})->command, "version");
    EXPECT_EQ(parse({"read", "--help"})->command, "help");

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {},
             {"read", "all"},
             {"read", "everything", "x"},
             {"read", "scenes=48/15-48/15", "x"},  // programme 48 has 14 scenes
             {"read", "scenes=5/3-4/1", "x"},      // ends before it begins
             {"read", "scenes=1-2", "x"},
             {"read", "scenes=49", "x"},
             {"read", "scenes=2/33", "x"},
             {"read", "scenes=2/", "x"},
             {"version", "extra"},
             {"--retries", "many", "version"},
             {"--port"},
             {"--colour", "version"},
             {"read", "midi", ""},                                   // no name: a hidden ".K5m"
             {"read", "midi", fs::temp_directory_path().string()}})  // a folder
        EXPECT_FALSE(parse(bad)) << ::testing::PrintToString(bad);
}

class CliRun : public ::testing::Test {
  protected:
    ManualClock clock;
    VirtualPortFactory ports{clock};
    ControllerModel& controller = ports.addController("COM1");
    fs::path dir = fs::temp_directory_path() / ("velora-cli-test-" + std::to_string(::getpid()));
    std::atomic<bool> interrupted{false};
    std::ostringstream out, err;

    void SetUp() override {
        fs::create_directories(dir);
        loadDemoShow(controller);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string base(const std::string& name) { return (dir / name).string(); }

    int cli(std::vector<std::string> args, bool progressBar = false) {
        auto o = parseArguments(args, err);
        if (!o) return -1;
        return run(*o, ports, clock, out, err, progressBar, interrupted);
    }
    std::string content(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
};

TEST_F(CliRun, ReadWriteVerifyAndTheirStatuses) {
    ASSERT_EQ(cli({"read", "all", base("show")}), kSuccess) << err.str();
    EXPECT_EQ(fs::file_size(base("show") + ".K5s"), 261632u);
    EXPECT_EQ(fs::file_size(base("show") + ".K5p"), 202u);
    EXPECT_EQ(fs::file_size(base("show") + ".K5m"), 256u);
    EXPECT_EQ(cli({"verify", "all", base("show")}), kSuccess) << err.str();

    // A difference: status 1, with or without --yes, and their count last.
    controller.block(2046)[0] ^= 0x01;
    controller.block(2047)[2] ^= 0x80;
    const auto lastLine = [&] {
        const std::string text = out.str();
        const std::size_t start = text.find_last_of('\n', text.size() - 2);
        return text.substr(start == std::string::npos ? 0 : start + 1);
    };
    EXPECT_EQ(cli({"verify", "midi", base("show")}), kDifferences);
    EXPECT_EQ(lastLine(), "velora-cli: stopped at a difference after 0 blocks: 1 difference\n");
    EXPECT_EQ(cli({"--yes", "verify", "midi", base("show")}), kDifferences);
    EXPECT_NE(err.str().find("Veryfication error : kanał MIDI 0"), std::string::npos);
    EXPECT_EQ(lastLine().substr(0, 35), "velora-cli: verified 2 blocks in 0.");
    EXPECT_EQ(lastLine().substr(lastLine().size() - 16), ": 2 differences\n");

    // Writing the files back mends it.
    EXPECT_EQ(cli({"write", "midi", base("show")}), kSuccess) << err.str();
    EXPECT_EQ(cli({"verify", "midi", base("show")}), kSuccess);

    // A line error after a difference is an error, not a clean list of differences.
    controller.block(2046)[0] ^= 0x01;
    controller.faults().add("drop@3-");
    EXPECT_EQ(cli({"--yes", "verify", "midi", base("show")}), kError);
}

TEST_F(CliRun, ForCronSuccessWritesOnlyItsSummaryAndEveryErrorLineIsPrefixed) {
    const auto lines = [](const std::string& text) {
        std::vector<std::string> all;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return all;
    };
    for (const auto& [args, summary] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"read", "settings", base("cron")}, "velora-cli: read 2 blocks in "},
             {{"write", "settings", base("cron")}, "velora-cli: wrote 2 blocks in "},
             {{"verify", "settings", base("cron")}, "velora-cli: verified 2 blocks in "}}) {
        out.str("");
        err.str("");
        ASSERT_EQ(cli(args), kSuccess) << err.str();
        EXPECT_EQ(err.str(), "") << args[0];
        ASSERT_EQ(lines(out.str()).size(), 1u) << out.str();
        EXPECT_EQ(out.str().rfind(summary, 0), 0u) << out.str();
        if (args[0] == "read") {
            EXPECT_NE(out.str().find("; saved " + base("cron") + ".K5p"), std::string::npos);
        }
        out.str("");
        EXPECT_EQ(cli({"--quiet", args[0], args[1], args[2]}), kSuccess);
        EXPECT_EQ(out.str() + err.str(), "");
    }

    // An error names the port and the block; every line carries the prefix.
    controller.faults().add("checksum@" + std::to_string(controller.counters().frames + 3));
    err.str("");
    EXPECT_EQ(cli({"--port", "COM1", "read", "midi", base("cron")}), kError);
    EXPECT_NE(err.str().find("velora-cli: COM1, block 2047: Communication error : checksum = "),
              std::string::npos)
        << err.str();
    for (const std::string& line : lines(err.str())) EXPECT_EQ(line.rfind("velora-cli: ", 0), 0u) << line;
}

TEST_F(CliRun, ShowsAsTextExportImportAndDiff) {
    ASSERT_EQ(cli({"read", "all", base("a")}), kSuccess) << err.str();
    const std::string json = base("a") + ".json";
    ASSERT_EQ(cli({"export", base("a"), "-o", json}), kSuccess) << err.str();
    ASSERT_EQ(cli({"import", json, base("b")}), kSuccess) << err.str();
    out.str("");
    EXPECT_EQ(cli({"diff", base("a"), base("b")}), kSuccess);
    EXPECT_EQ(out.str(), "no differences\n");
    for (const char* ext : {".K5s", ".K5p", ".K5m"})
        EXPECT_EQ(content(base("a") + ext), content(base("b") + ext)) << ext;

    // One channel and one MIDI flag changed in the text.
    std::string text = content(json);
    const auto key = text.find("\"key\": 5,");
    ASSERT_NE(key, std::string::npos);
    const auto flags = text.find("\"assignment\": [", key);
    text.replace(text.find('[', flags) + 1, 5,
                 text.compare(text.find('[', flags) + 1, 4, "true") == 0 ? "false" : "true ");
    std::ofstream(json, std::ios::binary | std::ios::trunc) << text;
    ASSERT_EQ(cli({"import", json, base("c")}), kSuccess) << err.str();
    out.str("");
    EXPECT_EQ(cli({"diff", "--limit", "0", base("a"), base("c")}), kDifferences);
    EXPECT_EQ(out.str(), "... 1 more\n1 difference\n");

    // A show already there is replaced only with --force, and the refusal names its files.
    const std::string before = content(base("b") + ".K5m");
    err.str("");
    EXPECT_EQ(cli({"import", json, base("b")}), kError);
    EXPECT_EQ(err.str(), "velora-cli: import would replace the existing " + base("b") + ".K5s, " + base("b") +
                             ".K5p, " + base("b") +
                             ".K5m; give --force to replace existing files; no file "
                             "was written\n");
    EXPECT_EQ(content(base("b") + ".K5m"), before);
    ASSERT_EQ(cli({"import", "--force", json, base("b")}), kSuccess) << err.str();
    EXPECT_NE(content(base("b") + ".K5m"), before);

    // A refused document writes nothing.
    std::ofstream(json, std::ios::binary | std::ios::trunc)
        << "{\"document\": \"velora show\", \"version\": 7}";
    err.str("");
    EXPECT_EQ(cli({"import", json, base("d")}), kError);
    EXPECT_EQ(err.str(), "velora-cli: " + json +
                             ": version at line 1, column 40: this program reads shows of version 1; no file "
                             "was written\n");
    EXPECT_FALSE(fs::exists(base("d") + ".K5s"));
}

TEST_F(CliRun, RetriesInARowThenCancel) {
    const auto frames = controller.counters().frames;
    // Frame 1 is the version query after the port is chosen; 2 and 3 the blocks.
    controller.faults().add("checksum@" + std::to_string(frames + 2));
    controller.faults().add("checksum@" + std::to_string(frames + 4));
    EXPECT_EQ(cli({"--port", "COM1", "--retries", "1", "read", "midi", base("m")}), kSuccess) << err.str();
    controller.faults().clear();
    controller.faults().add("silence@" + std::to_string(controller.counters().frames + 2) + "-");
    EXPECT_EQ(cli({"--port", "COM1", "--retries", "2", "read", "midi", base("n")}), kError);
    EXPECT_FALSE(fs::exists(base("n") + ".K5m"));  // a read that did not finish saves no file
}

TEST_F(CliRun, InterruptedRunsNeverEndWithSuccessNorSaveAFile) {
    interrupted = true;
    EXPECT_EQ(cli({"read", "all", base("cut")}), kInterrupted);
    EXPECT_FALSE(fs::exists(base("cut") + ".K5s"));
    EXPECT_EQ(cli({"search"}), kInterrupted);
}

TEST_F(CliRun, SceneRangeReadKeepsTheOtherScenesOfTheFile) {
    {
        std::ofstream f(base("part") + ".K5s", std::ios::binary);
        f << std::string(261632, '\x55');
    }
    ASSERT_EQ(cli({"read", "scenes=1/2-1/2", base("part")}), kSuccess) << err.str();
    std::ifstream f(base("part") + ".K5s", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 261632u);
    EXPECT_EQ(bytes[0], '\x55');                                                   // scene 1: kept
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[256 + 7]), controller.block(2)[7]);  // scene 2: read
    EXPECT_EQ(bytes[512], '\x55');                                                 // scene 3: kept
}

TEST_F(CliRun, FaultsNameTheirCauseAndLeaveNothingHalfDone) {
    // A folder that does not exist is found before a single frame is sent.
    const auto frames = controller.counters().frames;
    EXPECT_EQ(cli({"read", "scenes=1/1-2/32", "/no/such/dir/x"}), kError);
    EXPECT_EQ(controller.counters().frames, frames);
    EXPECT_NE(err.str().find("/no/such/dir/x.K5s"), std::string::npos) << err.str();

    // "all" replaces its three files together or not at all.
    for (const char* ext : {".K5s", ".K5p"}) std::ofstream(base("set") + ext) << "old";
    fs::create_directory(base("set") + ".K5m");
    EXPECT_EQ(cli({"read", "all", base("set")}), kError);
    EXPECT_EQ(content(base("set") + ".K5s"), "old");
    EXPECT_EQ(content(base("set") + ".K5p"), "old");
    EXPECT_NE(err.str().find(base("set") + ".K5m: it is a folder"), std::string::npos) << err.str();
    fs::remove(base("set") + ".K5m");
    EXPECT_EQ(cli({"read", "all", base("set")}, true), kSuccess) << err.str();
    EXPECT_EQ(fs::file_size(base("set") + ".K5p"), 202u);
    EXPECT_NE(err.str().find("100 % - 0:00 left"), std::string::npos);  // the progress line ends full

    // An unplugged line is named in words after the error number.
    controller.faults().add("drop@" + std::to_string(controller.counters().frames + 3));
    err.str("");
    EXPECT_EQ(cli({"--port", "COM1", "read", "midi", base("cut")}), kError);
    EXPECT_NE(err.str().find("Error code : 5"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("the line to the controller went away"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(base("cut") + ".K5m"));
}

// The upgrade's exit status and words: a record that agreed when read again
// is a success; only an ignored difference is 1; a run cut short says what the
// controller holds and what to do; a refused file is named before a single
// frame goes to the line.
TEST_F(CliRun, UpgradeStatusesSayTheTruth) {
    std::vector<UpgradeRecord> records(4);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].address = 0xFFE0 + 16 * static_cast<std::uint32_t>(i);
        records[i].length = 16;
        for (std::size_t j = 0; j < 16; ++j) records[i].data[j] = static_cast<std::uint8_t>(7 * i + 13 * j);
    }
    std::string why;
    auto bytes = buildUpgradeFile("1.06", records, why);
    ASSERT_TRUE(bytes) << why;
    const std::string good = base("kq318_106.upg");
    std::ofstream(good, std::ios::binary) << bytes->bytes;
    bytes->bytes[bytes->recordOffset(2) + 5] ^= 0x01;  // one stored byte: the checksum fails
    const std::string spoilt = base("kq318_spoilt.upg");
    std::ofstream(spoilt, std::ios::binary) << bytes->bytes;
    // Frames after the one version query that follows the chosen port.
    const auto frame = [&](int n) { return std::to_string(controller.counters().frames + 1 + n); };
    const int install = 1, verify = 1 + static_cast<int>(records.size());  // the first of each pass
    bool interruptOnRead = false;
    controller.setLogger([&](const ModelLogEntry& e) {
        if (interruptOnRead && e.kind == ModelLogEntry::Received && e.bytes.size() == 6 &&
            e.bytes[0] == kCodeRead)
            interrupted = true;
    });

    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::string> args;
        int status;
        std::string said;  // on the standard output for a success, else on the standard error
    };
    const std::vector<std::string> installGood{"--port", "COM1", "--yes", "upgrade", good};
    const std::string done = "velora-cli: installed 4 records of " + good + " in ";
    const std::vector<Case> cases{
        {"clean", [] {}, installGood, kSuccess, done},
        {"read again and agreed",
         [&] { controller.faults().add("data@" + frame(verify + 1)); },
         {"--port", "COM1", "--yes", "--retries", "1", "upgrade", good},
         kSuccess,
         done},
        {"a difference ignored",
         [&] { controller.faults().add("data@" + frame(verify + 1)); },
         {"--port", "COM1", "--yes", "--ignore-differences", "upgrade", good},
         kDifferences,
         "velora-cli: records read back different (ignored); run the upgrade again"},
        {"interrupted while verifying", [&] { interruptOnRead = true; }, installGood, kInterrupted,
         "velora-cli: interrupted while verifying; the firmware is installed but not verified: verify it "
         "with "
         "velora-cli upgrade --verify-only " +
             good},
        {"the line lost while installing", [&] { controller.faults().add("drop@" + frame(install + 2)); },
         installGood, kError,
         "velora-cli: the line was lost while installing; the controller's firmware may be incomplete: run "
         "the "
         "upgrade again"},
        {"the line lost while writing",
         [&] {
             std::ofstream(base("w") + ".K5m", std::ios::binary) << std::string(256, '\x11');
             controller.faults().add("drop@" + frame(2));
         },
         {"--port", "COM1", "write", "midi", base("w")},
         kError,
         "velora-cli: the line was lost after 1 block written; the controller holds part of the new data: "
         "write again"},
        {"a refused file",
         [] {},
         {"--port", "COM1", "--yes", "upgrade", spoilt},
         kError,
         "velora-cli: " + spoilt +
             ": Invalid file contents ! Checksum error ! (nothing was sent to the controller)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller.faults().clear();
        controller.reconnect();
        interrupted = false;
        interruptOnRead = false;
        out.str("");
        err.str("");
        c.arrange();
        const auto framesBefore = controller.counters().frames;
        EXPECT_EQ(cli(c.args), c.status) << err.str();
        const std::string& said = c.status == kSuccess ? out.str() : err.str();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        if (c.status == kSuccess) {
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one summary line";
            EXPECT_NE(said.find(" and verified them in "), std::string::npos) << said;
            EXPECT_EQ(err.str().find("warnings"), std::string::npos) << err.str();
            EXPECT_TRUE(std::equal(records[3].data.begin(), records[3].data.end(),
                                   controller.firmwareMemory().begin() + records[3].address));
        }
        if (c.args.back() == spoilt) {
            EXPECT_EQ(controller.counters().frames, framesBefore) << "a frame before the file was accepted";
        }
    }
    out.str("");
    err.str("");
    EXPECT_EQ(cli({"--port", "COM1", "--quiet", "--yes", "upgrade", good}), kSuccess);
    EXPECT_EQ(out.str() + err.str(), "");
}

TEST_F(CliRun, PortsSearchVersionRestart) {
    ports.addSilent("COM0");
    EXPECT_EQ(cli({"ports"}), kSuccess);
    EXPECT_EQ(out.str(), "COM0\nCOM1\n");
    out.str("");
    EXPECT_EQ(cli({"search"}), kSuccess);
    EXPECT_EQ(out.str(), "COM1\n");
    out.str("");
    EXPECT_EQ(cli({"version"}), kSuccess);
    EXPECT_EQ(out.str(), "1.05b\n");
    EXPECT_EQ(cli({"restart"}), kSuccess);
    EXPECT_EQ(controller.counters().restarts, 1u);
    EXPECT_EQ(cli({"--port", "COM7", "version"}), kError);  // no such port
}

}  // namespace
}  // namespace velora::cli
