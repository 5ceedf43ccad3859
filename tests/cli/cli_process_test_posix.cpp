// The zorbel program run as a separate process against virtual boards kept
// in a folder, so every command goes through the real connection sequence,
// the real wires, and the board's own decoding; the board's resulting state
// is read back from that folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/test_temp_folder.h"
#include "cli_runner.h"
#include "virtual_board.h"

namespace zorbel::clitest {
namespace {

namespace fs = std::filesystem;
using zorbel::testing::TempFolder;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 13 + seed) % 251);
  return v;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  const std::string text = Slurp(path);
  return {text.begin(), text.end()};
}

// The board as the last run left it in its folder.
std::unique_ptr<sim::VirtualBoard> KeptBoard(sim::BoardKind kind, const std::string& dir) {
  sim::BoardOptions options;
  options.kind = kind;
  options.stateDir = dir;
  return std::make_unique<sim::VirtualBoard>(options);
}

class CliTest : public ::testing::Test {
 protected:
  Result Zorbel(std::vector<std::string> args) { return RunZorbel(args, folder_.Folder()); }
  Result OnBoard(const std::string& kind, std::vector<std::string> args) {
    args.insert(args.begin(), "--virtual-board=" + kind + ":" + BoardDir());
    return Zorbel(std::move(args));
  }
  std::string BoardDir() const { return folder_.File("board"); }
  std::string File(const std::string& name) const { return folder_.File(name); }

  TempFolder folder_;
};

TEST_F(CliTest, UsageErrorsExitTwoWithTheRuleTextAndAUsageLine) {
  struct Case {
    std::vector<std::string> args;
    std::string firstLine;  // empty: only the usage line is checked
  } cases[] = {
      {{}, "zorbel: A subcommand is required"},
      {{"burn", "nand", "f.bin", "--number", "1", "--kind", "bogus"}, ""},
      {{"burn", "nand", "f.bin", "--kind", "data"}, "Please input image information"},
      {{"burn", "nand", "f.bin", "--kind", "logo", "--number", "1"}, "Please input image information"},
      {{"burn", "nand", "f.bin", "--kind", "data", "--number", "0", "--exec", "1", "--start", "1"},
       "Please input correct information"},
      {{"burn", "nand", "f.bin", "--kind", "data", "--number", "FFFFFFFF", "--exec", "1", "--start", "1"},
       "Please input correct information"},
      {{"burn", "nand", "f.bin", "--number", "1", "--exec", "1", "--start", "1"}, "--kind is required"},
      {{"burn", "nor", "f.bin", "--number", "1", "--exec", "1"}, "Please input image information"},
      {{"--yes", "burn", "sd", "f.bin", "--kind", "data", "--number", "1", "--exec", "1", "--start", "21"},
       "Image start sector should be larger than 21h"},
      {{"verify", "nand", "f.bin", "--kind", "data"}, "Please input Image No !"},
      {{"read-spi", "out.bin", "--blocks", "0"}, "Set the wrong blocks!"},
      {{"read-spi", "out.bin", "--blocks", "65536"}, "Set the wrong blocks!"},
      {{"erase", "nand"}, "Please input image number"},
      {{"erase", "nand", "--all", "--number", "2"}, "give one of --number, --all, --system-area"},
      {{"erase", "spi", "--system-area"}, "--system-area is for nand"},
      {{"modify", "sd", "--kind", "romfs"}, "Please input image number"},
      {{"modify", "nand", "--number", "1", "--kind", "logo"}, "--kind data|execute|romfs is required"},
      {{"burn-raw", "nor", "f.bin", "--offset", ""}, "Please input execute address"},
      {{"reserve", "nand"}, ""},
      {{"--virtual-board=toaster", "connect"},
       "--virtual-board=KIND[:DIR], KIND one of vcom, older, quen, rast, pilk"},
      {{"--port", "/dev/null", "--disk", "unix:/x", "connect"}, ""},
      {{"mkrom", "nand", "list.ini", "--block-size", "64k"}, ""},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const auto& a : c.args) label += a + " ";
    const Result r = Zorbel(c.args);
    EXPECT_EQ(r.status, 2) << label;
    const auto lines = Lines(r.err);
    ASSERT_FALSE(lines.empty()) << label;
    if (!c.firstLine.empty()) {
      EXPECT_EQ(lines.front(), c.firstLine) << label;
    }
    EXPECT_EQ(lines.back().rfind("usage: zorbel", 0), 0u) << label << r.err;
  }
  // None of them reached for a board.
  EXPECT_FALSE(fs::exists(BoardDir()));
}

TEST_F(CliTest, HelpOnEveryCommand) {
  for (const char* command :
       {"connect", "sdram", "burn", "verify", "burn-raw", "verify-raw", "read-spi", "erase", "modify",
        "table", "reserve", "nand-size", "sd-size", "settings", "mkrom", "nand-check"}) {
    const Result r = Zorbel({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find(std::string("usage: zorbel ") + command), std::string::npos) << command << r.out;
  }
}

TEST_F(CliTest, BurnIsRefusedWithoutYesWhenNobodyCanAnswer) {
  WriteFile(File("img.bin"), Pattern(5000, 1));
  const Result r = OnBoard("quen", {"burn", "nand", File("img.bin"), "--number", "3", "--kind", "data",
                                    "--exec", "1", "--start", "20"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err).front(), "Do you confirm this operation ?");
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kQuen, BoardDir())->Table(sim::Medium::kNand).empty());
}

// Burn in one process, verify in another: the second run has no head of
// the first and builds it from its options and the file.
class TwoRunSession : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TwoRunSession, BurnThenVerifyInANewProcess) {
  const std::string kind = GetParam();
  const auto image = Pattern(20000, 7);
  WriteFile(File("kernel.v2.bin"), image);
  const std::vector<std::string> fields{"--number", "3",        "--kind",  "execute",
                                        "--exec",   "30008000", "--start", "20"};

  std::vector<std::string> burn{"--yes", "burn", "nand", File("kernel.v2.bin")};
  burn.insert(burn.end(), fields.begin(), fields.end());
  Result r = OnBoard(kind, burn);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Burn successfully");

  std::vector<std::string> verify{"verify", "nand", File("kernel.v2.bin")};
  verify.insert(verify.end(), fields.begin(), fields.end());
  r = OnBoard(kind, verify);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Verify OK !");

  r = OnBoard(kind, {"table", "nand"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0].substr(0, 4), "No  ");
  EXPECT_EQ(lines[1].substr(0, 3), "3  ");
  EXPECT_NE(lines[1].find("kernel.v2"), std::string::npos);
  EXPECT_NE(lines[1].find("execute"), std::string::npos);
  EXPECT_NE(lines[1].find("0x20"), std::string::npos);

  // Same length, one byte changed: the board's copy no longer matches.
  auto changed = image;
  changed[12345] ^= 0x40;
  WriteFile(File("kernel.v2.bin"), changed);
  r = OnBoard(kind, verify);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err).back(), "Verify Error !");

  const auto board = KeptBoard(*sim::ParseKind(kind), BoardDir());
  const auto entry = board->FindImage(sim::Medium::kNand, 3);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->executeAddress, 0x30008000u);
  EXPECT_EQ(entry->start, 0x20u);
  EXPECT_EQ(board->ImageData(sim::Medium::kNand, 3), image);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TwoRunSession, ::testing::Values("quen", "vcom", "older"));

TEST_F(CliTest, DiskCommandsChangeTheBoard) {
  WriteFile(File("a.bin"), Pattern(3000, 2));
  ASSERT_EQ(OnBoard("quen", {"--yes", "burn", "nand", File("a.bin"), "--number", "5", "--kind", "data",
                             "--exec", "0", "--start", "40"})
                .status,
            0);
  Result r = OnBoard("quen", {"modify", "nand", "--number", "5", "--kind", "romfs"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Modify OK");
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->FindImage(sim::Medium::kNand, 5)->type, 2u);

  r = OnBoard("quen", {"table", "nand", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("{\"No\": 5, \"Name\": \"a\", \"Type\": \"romfs\", \"Start block\": \"0x40\""),
            std::string::npos)
      << r.out;

  r = OnBoard("quen", {"nand-size"});
  ASSERT_EQ(r.status, 0) << r.err;
  const int total = std::stoi(r.out);
  EXPECT_GT(total, 0);

  r = OnBoard("quen", {"reserve", "nand", std::to_string(total + 1)});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.err).front(), "The value can not larger than total size");
  r = OnBoard("quen", {"reserve", "nand", std::to_string(total)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Set successfully");
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->NandReservedMb(), static_cast<uint32_t>(total));

  r = OnBoard("quen", {"sd-size"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1024\n");

  r = OnBoard("quen", {"erase", "nand", "--number", "5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Erase successfully");
  EXPECT_FALSE(KeptBoard(sim::BoardKind::kQuen, BoardDir())->FindImage(sim::Medium::kNand, 5).has_value());
}

TEST_F(CliTest, RawSpiBurnThenReadBack) {
  const auto data = Pattern(70000, 9);
  WriteFile(File("raw.bin"), data);
  Result r = OnBoard("quen", {"--yes", "burn-raw", "spi", File("raw.bin")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Burn successfully");
  r = OnBoard("quen", {"read-spi", File("back.bin"), "--blocks", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Read OK !");
  const auto back = ReadFile(File("back.bin"));
  ASSERT_EQ(back.size(), 2u * 65536u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  r = OnBoard("quen", {"verify-raw", "spi", File("raw.bin")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Verify OK !");
}

TEST_F(CliTest, NorImageOverTheComPortShowsItsFlagLetters) {
  WriteFile(File("boot.bin"), Pattern(9000, 4));
  Result r = OnBoard("vcom", {"--yes", "burn", "nor", File("boot.bin"), "--number", "1", "--exec", "8000",
                              "--offset", "10000", "--flags", "active,exec"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = OnBoard("vcom", {"table", "nor"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], "Device: VNOR-29LV320");
  EXPECT_EQ(lines[1], "No  Name  Type  Flash address  End address  Exec address");
  EXPECT_EQ(lines[2], "1   boot  ax    0x10000        0x12327      0x8000");
}

TEST_F(CliTest, SettingsFilesOnlyWritesTheFormsFiles) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;             // first line of standard error, empty when none
    std::vector<std::string> lines;  // lines 3 to 13 of "1.txt" when written
  } cases[] = {
      {{"--ssid", "home", "--password", "pw"},
       0,
       "",
       {"dhcp", "192.168.123.9", "255.255.255.0", "192.168.123.254", "192.168.123.254", "192.168.123.254",
        "00:0e:01:09:06:52", "Tellan-5", "home", "pw", "WPA-PSK"}},
      {{"--name",    "cam",      "--ssid", "s",         "--password", "p",         "--encryption",
        "none",      "--ip",     "fix",    "--address", "10.0.0.2",   "--netmask", "255.0.0.0",
        "--gateway", "10.0.0.1", "--dns0", "1.1.1.1",   "--dns1",     "8.8.8.8"},
       0,
       "",
       {"fix", "10.0.0.2", "255.0.0.0", "10.0.0.1", "1.1.1.1", "8.8.8.8", "00:0e:01:09:06:52", "cam", "s",
        "p", "WEP"}},
      {{"--ssid", "s", "--password", "p", "--ip", "fix", "--address", "1", "--netmask", "2"},
       1,
       "gw不能为空",
       {}},
      {{"--password", "p"}, 1, "ssid不能为空", {}},
  };
  for (const auto& c : cases) {
    fs::remove(File("1.txt"));
    fs::remove(File("t0.bin"));
    std::vector<std::string> args{"settings", "--files-only"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Zorbel(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.message.empty()) {
      EXPECT_EQ(r.err, c.message + "\n");
      EXPECT_FALSE(fs::exists(File("1.txt")));
      continue;
    }
    const std::string text = Slurp(File("1.txt"));
    std::string expected = "<<<<<<<<<<<<<<<<<<<\r\nNEW IPCFG\r\n";
    for (const auto& line : c.lines) expected += line + "\r\n";
    expected += "===================\r\n";
    EXPECT_EQ(text, expected);
    // The template's marker now carries the text.
    const std::string image = Slurp(File("t0.bin"));
    EXPECT_NE(image.find(text), std::string::npos);
  }
}

// SDRAM does not outlive the run, so only the outcome is seen here; the
// delivered bytes are checked against an in-process board in the settings tests.
TEST_F(CliTest, SettingsDeliveredOverEachRoute) {
  Result r = OnBoard("quen", {"settings", "--ssid", "net", "--password", "secret"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "写入成功");
  EXPECT_FALSE(Slurp(File("t0.bin")).empty());

  r = OnBoard("quen", {"settings", "--ssid", "net", "--password", "secret", "--route", "spi"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "写入成功");
  const auto board = KeptBoard(sim::BoardKind::kQuen, BoardDir());
  const auto entry = board->FindImage(sim::Medium::kSpi, 2);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->name, "1.txt");
  EXPECT_EQ(board->ImageData(sim::Medium::kSpi, 2), ReadFile(File("1.txt")));
}

TEST_F(CliTest, SpiSettingsRouteOverTheComPortStopsAtTheBankRule) {
  const Result r = OnBoard("vcom", {"settings", "--ssid", "net", "--password", "secret", "--route", "spi"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err).back(), "Start offset must be 64K boundary !");
  EXPECT_FALSE(Slurp(File("1.txt")).empty());
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kVcom, BoardDir())->Table(sim::Medium::kSpi).empty());
}

TEST_F(CliTest, MkromNandCountsTheListsImageSections) {
  // The same list as the NAND golden ROM file: two images, numbered 1 and 0.
  WriteFile(File("a.bin"), [] {
    std::vector<uint8_t> v(5);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
    return v;
  }());
  WriteFile(File("b.bin"), [] {
    std::vector<uint8_t> v(20);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i * 7 + 4) % 251);
    return v;
  }());
  std::ofstream(File("nandrom.ini")) << "[Target Image]\nImage=" << File("out.bin") << "\n\n"
                                     << "[Image 1]\nImage=" << File("a.bin")
                                     << "\nName=data1\nExec=0x00000000\nStart=0x00000010\nData=1\n\n"
                                     << "[Image 0]\nImage=" << File("b.bin")
                                     << "\nName=sys\nExec=0x00000200\nStart=0x00000000\nSystem=1\n\n";
  const Result r = Zorbel({"mkrom", "nand", File("nandrom.ini")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(File("out.bin")), ReadFile(std::string(ZORBEL_TEST_DATA) + "/rom/nand_golden.bin"));
}

TEST_F(CliTest, GivenPortAndDiskReachBoardsInOtherProcesses) {
  WriteFile(File("app.bin"), Pattern(6000, 5));
  {
    BoardProcess vcom({"--kind", "vcom", "--dir", File("vstate"), "--pty-link", File("tty")});
    BoardProcess quen({"--kind", "quen", "--dir", File("qstate"), "--socket", File("disk")});
    ASSERT_TRUE(WaitForPath(File("tty")));
    ASSERT_TRUE(WaitForPath(File("disk")));

    Result r = Zorbel({"--port", File("tty"), "--yes", "burn", "nand", File("app.bin"), "--number", "2",
                       "--kind", "data", "--exec", "0", "--start", "30"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.err).back(), "Burn successfully");

    const std::string disk = "unix:" + File("disk");
    r = Zorbel({"--disk", disk, "--family", "1", "burn", "spi", File("app.bin"), "--number", "3", "--kind",
                "data", "--exec", "0", "--start", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.err).back(), "Burn successfully");
    r = Zorbel({"--disk", disk, "--family", "1", "table", "spi"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 2u) << r.out;
    EXPECT_EQ(Lines(r.out)[1].substr(0, 10), "3   app   ");

    r = Zorbel({"--disk", "unix:" + File("no-such-socket"), "table", "spi"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).back(), "Not connected to a board.");
  }
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kVcom, File("vstate"))->FindImage(sim::Medium::kNand, 2).has_value());
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, File("qstate"))->ImageData(sim::Medium::kSpi, 3),
            Pattern(6000, 5));
}

TEST_F(CliTest, RawNandRomIsCheckedAgainstTheBoardsBlockSizeFirst) {
  WriteFile(File("k.bin"), Pattern(30000, 6));
  std::ofstream(File("nandrom.ini")) << "[Target Image]\nImage=" << File("rom.bin")
                                     << "\n\n[Image 1]\nImage=" << File("k.bin")
                                     << "\nName=kern\nExec=0x0\nStart=0x10\nData=1\n\n";
  // Built for 128 KB blocks; the board has 16 KB ones.
  ASSERT_EQ(Zorbel({"mkrom", "nand", File("nandrom.ini"), "--block-size", "128k"}).status, 0);
  const std::string question = "NAND Block size does not match, do you want to convert it automically ?";

  Result r = OnBoard("vcom", {"--yes", "burn-raw", "nand", File("rom.bin")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), (std::vector<std::string>{question, "Invalidate NAND image !"}));

  r = OnBoard("vcom", {"nand-check", File("rom.bin"), "--convert"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");

  r = OnBoard("vcom", {"--yes", "burn-raw", "nand", File("rom.bin")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Burn successfully");
  r = OnBoard("vcom", {"verify-raw", "nand", File("rom.bin")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Verify OK !");
}

}  // namespace
}  // namespace zorbel::clitest
