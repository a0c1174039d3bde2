// The command line of vlnet, its output forms, and the program's answers
// to lines and resource folders it cannot use (no probe is started).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/VLNetCommands.h"
#include "app/VLNetOptions.h"
#include "app/VLNetResultText.h"
#include "app/VLNetSession.h"
#include "app/VLNetStatusLine.h"
#include "base/core/VLCommandLine.h"
#include "base/core/VLFileSystem.h"
#include "ecm/core/VLECMCommandList.h"
#include "tests/support/TempFolder.h"

namespace {
bool Parse(CVLNetOptions& options, std::vector<const char*> args)
{
    args.insert(args.begin(), "vlnet");
    return options.Parse(static_cast<int>(args.size()), args.data());
}

// Runs build/bin/vlnet (or another of its programs) with the arguments; its
// exit status and both outputs.
int RunVlnet(const std::string& strArgs, std::string& strOutput, const std::string& strAs = std::string(),
             const std::string& strProgram = "vlnet")
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    std::string strBin = szBin != nullptr ? szBin : "";
    if (strBin.empty()) {
        CVLString strExe = VLGetExecutablePath();
        strBin = strExe.GetLength() > 0 ? strExe.GetBuffer() : ".";
    }
    // Bounded, so that a start that blocks fails the test and leaves no process behind.
    std::string strCommand = "timeout 120 " + strAs + strBin + "/" + strProgram + " " + strArgs + " 2>&1";
    FILE* fp = popen(strCommand.c_str(), "r");
    if (fp == nullptr)
        return -1;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), fp)) > 0)
        strOutput.append(buffer, n);
    int nStatus = pclose(fp);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}
}  // namespace

TEST(VLNetOptions, ParsesEachCommand)
{
    CVLNetOptions probe;
    ASSERT_TRUE(Parse(probe, {"probe", "--timeout", "5", "--mac", "0026ab0000ff", "--resources", "/r"}));
    EXPECT_EQ("probe", probe.GetCommand());
    EXPECT_EQ(5, probe.GetTimeoutSeconds());
    EXPECT_EQ("00:26:AB:00:00:FF", probe.GetMACAddress());
    EXPECT_EQ("/r", probe.GetResourceDir());

    CVLNetOptions url;
    ASSERT_TRUE(Parse(url, {"url", "10.1.2.3"}));
    EXPECT_EQ("10.1.2.3", url.GetIPAddress());
    EXPECT_EQ("", url.GetMACAddress());
    EXPECT_EQ(CVLNetOptions::DEFAULT_TIMEOUT_SECONDS, url.GetTimeoutSeconds());

    CVLNetOptions run;
    ASSERT_TRUE(Parse(run, {"run", "00-26-ab-00-00-01", "SetDetail", "VLPC.2B_5A10_01.NodeName=a=b", "--password", "",
                            "VLPC.2B_5A10_01.Location="}));
    EXPECT_EQ("00:26:AB:00:00:01", run.GetMACAddress());
    EXPECT_EQ("SetDetail", run.GetDeviceCommand());
    EXPECT_TRUE(run.HasPassword());
    EXPECT_EQ("", run.GetPassword());
    ASSERT_EQ(2u, run.GetAssignments().size());
    EXPECT_EQ("VLPC.2B_5A10_01.NodeName", run.GetAssignments()[0].first);
    EXPECT_EQ("a=b", run.GetAssignments()[0].second);
    EXPECT_EQ("", run.GetAssignments()[1].second);
    EXPECT_FALSE(run.IsDump());
    // run takes a device by its address too, as url and open do.
    CVLNetOptions byAddress;
    ASSERT_TRUE(Parse(byAddress, {"run", "10.0.0.010", "GetDetail"}));
    EXPECT_EQ("10.0.0.10", byAddress.GetIPAddress());
    EXPECT_EQ("", byAddress.GetMACAddress());
    EXPECT_EQ("10.0.0.10", byAddress.GetDevice());
    CVLNetOptions dump;
    ASSERT_TRUE(Parse(dump, {"run", "0026AB000001", "GetDetail", "--dump"}));
    EXPECT_TRUE(dump.IsDump());

    CVLNetOptions help;
    ASSERT_TRUE(Parse(help, {"run", "--help"}));
    EXPECT_TRUE(help.IsHelp());
    // --version after a command too, as every program takes it.
    for (const char* szCommand : {"probe", "url", "run"}) {
        CVLNetOptions version;
        ASSERT_TRUE(Parse(version, {szCommand, "--version"})) << szCommand << ": " << version.GetErrorText();
        EXPECT_TRUE(version.IsVersion());
    }
    // The program's usage lists every command; each command's usage is its own.
    const std::string strProgram = CVLNetOptions::GetUsage("");
    for (const char* szCommand : {"probe", "url", "open", "run"}) {
        EXPECT_NE(std::string::npos, strProgram.find(std::string("\n  ") + szCommand + " ")) << szCommand;
        EXPECT_EQ(0u, CVLNetOptions::GetUsage(szCommand).find(std::string("usage: vlnet ") + szCommand + " "));
        // The time-out's range and default as the code has them; without
        // one, a probe ends when it is over, at the default at most.
        const std::string strRange = "(1 to " + std::to_string(CVLNetOptions::MAX_TIMEOUT_SECONDS);
        const std::string strDefault = std::to_string(CVLNetOptions::DEFAULT_TIMEOUT_SECONDS);
        EXPECT_NE(std::string::npos,
                  CVLNetOptions::GetUsage(szCommand).find(
                      std::string(szCommand) == "probe" ? "at " + strDefault + " s at most " + strRange + ")\n"
                                                        : "seconds " + strRange + ", default " + strDefault + ")\n"))
            << szCommand << "\n"
            << CVLNetOptions::GetUsage(szCommand);
    }
    // The settings most often changed stand in run's usage with their paths.
    for (const char* szPath : {"NodeName=", "Location=", "IPMode=", "IPAddress=", "SubnetMask=", "Gateway="})
        EXPECT_NE(std::string::npos, CVLNetOptions::GetUsage("run").find(std::string("VLPC.2B_5A10_01.") + szPath));
}

TEST(VLNetOptions, RefusesWhatItCannotUseAndSaysWhat)
{
    const std::vector<std::vector<const char*>> kBad = {
        {},
        {"list"},
        {"probe", "extra"},
        {"probe", "--timeout"},
        {"probe", "--timeout", "0"},
        {"probe", "--timeout", "86401"},
        {"probe", "--timeout", "-5"},
        {"probe", "--timeout", "99999999999999999999"},
        {"probe", "--mac", "00:26:AB:00:00"},
        {"probe", "--mac", "00:26-AB:00:00:01"},
        {"probe", "--password", "x"},
        {"probe", "--dump"},
        {"url", "1.2.3.4", "--dump"},
        {"url", "1.2.3.4", "--mac", "0026AB000001"},
        {"run", "0026AB000001", "GetDetail", "--mac", "0026AB000001"},
        {"probe", "--verbose"},
        {"url"},
        {"url", "256.1.1.1"},
        {"url", "1.2.3.4", "5.6.7.8"},
        {"open", "host.example"},
        {"run", "host.example", "GetDetail"},
        {"run", "0026AB000001"},
        {"run", "0026AB000001", "DeleteWebService"},
        {"run", "0026AB000001", "GetDetail", "=x"},
        {"run", "0026AB000001", "GetDetail", "novalue"},
    };
    for (const auto& args : kBad) {
        CVLNetOptions options;
        std::string strLine;
        for (const char* sz : args)
            strLine += std::string(sz) + " ";
        EXPECT_FALSE(Parse(options, args)) << strLine;
        EXPECT_NE("", options.GetErrorText()) << strLine;
    }
}

// A command's synopsis and option lines are made from the table of options:
// the synopsis wraps below the command's name, a help line stands beside its
// option or below a long one, with its further lines indented alike.
TEST(VLNetOptions, UsageLaysOutTheOptionsOfEachCommand)
{
    EXPECT_EQ("usage: vlnet url MAC|IP [--timeout SECONDS] [--resources DIR]\n"
              "Probes until the device is found and prints its web page URL.\n"
              "Until the device answers, the probe's requests go again each time their\n"
              "schedule (about 1.9 s) has passed; a device not found by the time-out is\n"
              "an error. An address on none of this computer's networks is refused at\n"
              "once: vlnet reaches devices on the computer's own networks only.\n"
              "Given by its MAC, the device is used at the address that passed\n"
              "its unicast check once every address that answered for the MAC is judged;\n"
              "given by its IP address, once that address's own check passed (it is\n"
              "checked however many other addresses claimed its MAC first).\n"
              "\n"
              "  --timeout SECONDS  give up after this many seconds (1 to 86400, default 60)\n"
              "  --resources DIR    the resource folder\n",
              CVLNetOptions::GetUsage("url"));
    const std::string strRun = CVLNetOptions::GetUsage("run");
    EXPECT_EQ(0u,
              strRun.find("usage: vlnet run MAC|IP COMMAND [--password-file FILE | --password PW] [PATH=VALUE ...] "
                          "[--dump]\n                 [--force] [--timeout SECONDS] [--resources DIR]\nProbes until"))
        << strRun;
    const std::string strOptions = "\n\n  --password-file FILE\n"
                                   "                     the device's password: the first line of FILE\n"
                                   "  --password PW      the device's password (every local user sees it in the\n"
                                   "                     process list). Without either";
    EXPECT_NE(std::string::npos, strRun.find(strOptions)) << strRun;
    EXPECT_EQ(strRun.size(), strRun.find("the resource folder\n") + strlen("the resource folder\n")) << strRun;
}

TEST(VLNetOptions, APasswordFileGivesItsFirstLine)
{
    const std::string strFile = TestTempFolder() + "/vlnet_password_" + std::to_string(getpid());
    const struct
    {
        std::string strContent, strPassword;
    } files[] = {
        {"secret\r\nsecond\n", "secret"},
        {"sec ret\nsecond", "sec ret"},
        {"secret", "secret"},
        {std::string(CVLNetOptions::MAX_PASSWORD_BYTES, 'p') + "\r\n",
         std::string(CVLNetOptions::MAX_PASSWORD_BYTES, 'p')},
    };
    for (const auto& file : files) {
        FILE* pFile = fopen(strFile.c_str(), "wb");
        ASSERT_NE(nullptr, pFile);
        fwrite(file.strContent.data(), 1, file.strContent.size(), pFile);
        fclose(pFile);
        CVLNetOptions options;
        ASSERT_TRUE(Parse(options, {"run", "0026AB000001", "CheckPassword", "--password-file", strFile.c_str()}))
            << options.GetErrorText();
        EXPECT_TRUE(options.HasPassword());
        EXPECT_EQ(file.strPassword, options.GetPassword());
    }

    // A file that cannot be read, or whose first line cannot be a password,
    // is refused with the reason; one password only.
    const struct
    {
        std::string strContent, strPath, strError;
    } bad[] = {
        {"", "/nonexistent/password",
         "--password-file: /nonexistent/password cannot be read: No such file or directory"},
        {"", "/tmp", "--password-file: /tmp cannot be read: Is a directory"},
        {std::string(CVLNetOptions::MAX_PASSWORD_BYTES + 1, 'p'), strFile,
         "--password-file: " + strFile + ": the first line is longer than 1024 bytes"},
        {std::string("se\0cret", 7), strFile, "--password-file: " + strFile + ": the first line holds a NUL byte"},
        // It would send no password.
        {"\r\nsecond\n", strFile,
         "--password-file: " + strFile + ": the first line is empty (a device without a password takes --password '')"},
        // An editor's byte-order mark or blank would be sent with it.
        {"\xEF\xBB\xBFsecret\n", strFile,
         "--password-file: " + strFile +
             ": the file begins with a UTF-8 byte-order mark, which would be sent as part of the password: save it "
             "without one"},
        {"secret \r\n", strFile,
         "--password-file: " + strFile +
             ": the first line ends with a blank, which would be sent as part of the password: remove it, or give a "
             "password that ends so with --password"},
    };
    for (const auto& entry : bad) {
        FILE* pFile = fopen(strFile.c_str(), "wb");
        ASSERT_NE(nullptr, pFile);
        fwrite(entry.strContent.data(), 1, entry.strContent.size(), pFile);
        fclose(pFile);
        CVLNetOptions options;
        EXPECT_FALSE(Parse(options, {"run", "0026AB000001", "SetDetail", "--password-file", entry.strPath.c_str()}));
        EXPECT_EQ(entry.strError, options.GetErrorText());
    }
    // A second password option is refused in either order, as a second --mac is.
    std::ofstream(strFile) << "secret\n";
    const std::vector<std::vector<const char*>> kTwice = {
        {"run", "0026AB000001", "SetDetail", "--password", "x", "--password-file", strFile.c_str()},
        {"run", "0026AB000001", "SetDetail", "--password-file", strFile.c_str(), "--password", "x"},
        {"run", "0026AB000001", "SetDetail", "--password", "x", "--password", "x"},
        {"run", "0026AB000001", "SetDetail", "--password-file", strFile.c_str(), "--password-file", strFile.c_str()},
        {"probe", "--mac", "0026AB000001", "--mac", "0026AB000002"},
        {"probe", "--mac", "0026AB000001", "--mac", "0026AB000001"},
    };
    for (const auto& args : kTwice) {
        CVLNetOptions twice;
        EXPECT_FALSE(Parse(twice, args)) << args[args.size() - 2];
        EXPECT_EQ(args[0] == std::string("probe") ? "one device: --mac once"
                                                  : "one password: --password or --password-file, once",
                  twice.GetErrorText());
    }
    std::string strOutput;
    EXPECT_EQ(2, RunVlnet("run 0026AB000001 CheckPassword --password-file /nonexistent/password", strOutput));
    EXPECT_EQ(0u, strOutput.find("vlnet: --password-file: /nonexistent/password cannot be read")) << strOutput;
    unlink(strFile.c_str());
}

TEST(VLNetOptions, AddressForms)
{
    EXPECT_EQ("00:26:AB:0C:DE:F0", CVLNetOptions::NormalizeMACAddress("0026ab0cdef0"));
    EXPECT_EQ("00:26:AB:0C:DE:F0", CVLNetOptions::NormalizeMACAddress("00:26:aB:0c:DE:f0"));
    EXPECT_EQ("", CVLNetOptions::NormalizeMACAddress("00:26:AB:0C:DE:G0"));
    EXPECT_EQ("", CVLNetOptions::NormalizeMACAddress("0026AB0CDEF"));
    EXPECT_EQ("", CVLNetOptions::NormalizeMACAddress("00.26.AB.0C.DE.F0"));
}

TEST(VLNetOutput, DeviceLineStatusAndResultTexts)
{
    EXPECT_EQ("00:26:AB:00:00:01\t10.0.0.2\tModel A",
              CVLNetSession::FormatDeviceLine("00:26:AB:00:00:01", "10.0.0.2", "Model A"));
    // A device's texts cannot break the line or add columns.
    EXPECT_EQ("00:26:AB:00:00:01\t10.0.0.2\tBad Model  ",
              CVLNetSession::FormatDeviceLine("00:26:AB:00:00:01", "10.0.0.2", "Bad\nModel\t\r"));
    // Nor write bytes that are not UTF-8, or C1 controls, raw to a terminal.
    EXPECT_EQ(
        "00:26:AB:00:00:01\t10.0.0.2\tM\\xFF\\xC3 \xC3\xBC \xE2\x82\xAC",
        CVLNetSession::FormatDeviceLine("00:26:AB:00:00:01", "10.0.0.2", "M\xFF\xC3 \xC3\xBC\xC2\x9B\xE2\x82\xAC"));
    EXPECT_EQ("the device refused the password", CVLNetSession::FailureText(VLECM_RESULT_DEVICE_ERROR, 0xF003));
    // A device's own error code, with its meaning where it has one.
    EXPECT_EQ("the device answered with error F001 (a malformed request, or a value the device does not take)",
              CVLNetSession::FailureText(VLECM_RESULT_DEVICE_ERROR, 0xF001));
    EXPECT_EQ("the device answered with error FF01 (not supported by the device)",
              CVLNetSession::FailureText(VLECM_RESULT_DEVICE_ERROR, 0xFF01));
    EXPECT_EQ("the device answered with error F0AB", CVLNetSession::FailureText(VLECM_RESULT_DEVICE_ERROR, 0xF0AB));
    EXPECT_EQ("probing: 1.5 s, 1 device found", CVLNetStatusLine::Format(1.5, 1));
    EXPECT_EQ("probing: 12.0 s, 3 devices found", CVLNetStatusLine::Format(12.0, 3));
    EXPECT_STREQ("path error", CVLNetResultText::GetPFWResultText(12));
    EXPECT_STREQ("unknown result", CVLNetResultText::GetPFWResultText(3));
    EXPECT_STREQ("unlock refused (wrong password)", CVLNetResultText::GetECMResultText(7));
    EXPECT_STREQ("unknown result", CVLNetResultText::GetECMResultText(-1));
}

TEST(VLNetProgram, ExitStatusOfHelpBadLinesAndBadResources)
{
    std::string strOutput;
    EXPECT_EQ(0, RunVlnet("--help", strOutput));
    EXPECT_NE(std::string::npos, strOutput.find("usage: vlnet COMMAND"));
    strOutput.clear();
    EXPECT_EQ(2, RunVlnet("probe --timeout soon", strOutput));
    EXPECT_NE(std::string::npos, strOutput.find("--timeout needs"));

    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources /nonexistent/vlnet", strOutput));
    EXPECT_NE(std::string::npos, strOutput.find("result 12 (path error)")) << strOutput;
    // A copy of the program, away from its resources, says how to give them.
    const bool bBinGiven = getenv("VL_TEST_BIN_DIR") != nullptr;
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    const std::string strBin = szBin != nullptr ? szBin : VLGetExecutablePath().GetBuffer();
    const std::string strCopy = TestTempFolder() + "/vlnet_copy_" + std::to_string(getpid());
    ASSERT_EQ(0, system(("mkdir -p " + strCopy + "/bin && cp " + strBin + "/vlnet " + strCopy + "/bin/").c_str()));
    setenv("VL_TEST_BIN_DIR", (strCopy + "/bin").c_str(), 1);
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe", strOutput));
    EXPECT_NE(std::string::npos,
              strOutput.find("no resource folder at " + strCopy + "/share/vlnet; give one with --resources DIR\n"))
        << strOutput;
    if (bBinGiven)
        setenv("VL_TEST_BIN_DIR", strBin.c_str(), 1);
    else
        unsetenv("VL_TEST_BIN_DIR");
    EXPECT_EQ(0, system(("rm -rf " + strCopy).c_str()));

    // A missing configuration is named once, with the reason.
    std::string strDir = TestTempFolder() + "/vlnet_app_" + std::to_string(getpid());
    ASSERT_EQ(0, system(("mkdir -p " + strDir + "/Settings/Default").c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_EQ("vlnet: initialization failed: result 12 (path error): " + strDir +
                  "/Settings/Default/vlres300.dat: the configuration does not exist\n",
              strOutput);

    ASSERT_EQ(0, system(("echo '<Configurations/>' > " + strDir + "/Settings/Default/vlres300.dat").c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("url 0026AB000001 --resources " + strDir, strOutput));
    EXPECT_NE(std::string::npos, strOutput.find("result 13 (configuration error)")) << strOutput;

    // A configuration without definitions beside it: the device manager refuses.
    ASSERT_EQ(0, system(("echo '<Configurations xmlns=\"http://vlnet.invalid/orvek-net/2009/05/configurations\"/>' > " +
                         strDir + "/Settings/Default/vlres300.dat")
                            .c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    // Its result once, with the reason.
    EXPECT_EQ(0u, strOutput.find("vlnet: initialization failed: the definitions could not be read: " + strDir +
                                 "/Settings/Default/vlres201.dat: cannot be opened"))
        << strOutput;
    // Neither form of the definitions is there: both are named.
    EXPECT_NE(std::string::npos, strOutput.find("; " + strDir + "/Settings/Default/vlres200.dat does not exist either "
                                                "(the device manager's result 15)\n"))
        << strOutput;
    EXPECT_EQ(strOutput.rfind("result "), strOutput.find("result ")) << strOutput;
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

TEST(VLNetProgram, BadResourcesNameTheFileAndTheReason)
{
    // A FIFO would block the start for ever.
    std::string strDir = TestTempFolder() + "/vlnet_app_bad_" + std::to_string(getpid());
    std::string strSettings = strDir + "/Settings/Default/";
    ASSERT_EQ(0, system(("mkdir -p " + strSettings + " && mkfifo " + strSettings + "vlres300.dat").c_str()));
    std::string strOutput;
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_NE(std::string::npos, strOutput.find("result 12 (path error): " + strSettings +
                                                "vlres300.dat: the configuration is not a regular file\n"))
        << strOutput;

    // Not well-formed: where the parser stopped and why, in words.
    ASSERT_EQ(0, system(("rm " + strSettings + "vlres300.dat && printf '<Configurations>\\n<a>\\n</b>\\n' > " +
                         strSettings + "vlres300.dat")
                            .c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_NE(std::string::npos, strOutput.find("result 13 (configuration error): " + strSettings +
                                                "vlres300.dat: line 3, column 3: not well-formed XML: the end "
                                                "tag </b> does not match the start tag <a> (line 2)\n"))
        << strOutput;
    // A device bound that is no whole number from 1 to 512, named before
    // anything is sent.
    ASSERT_EQ(0,
              system(("rm " + strSettings + "vlres300.dat && echo '<Configurations " +
                      "xmlns=\"http://vlnet.invalid/orvek-net/2009/05/configurations\"><CommunicationManager><Property "
                      "key=\"Option.Probe.MaxDevicesPerNetwork\" value=\"0\"/>"
                      "</CommunicationManager></Configurations>' > " +
                      strSettings + "vlres300.dat")
                         .c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_EQ("vlnet: initialization failed: result 13 (configuration error): " + strSettings +
                  "vlres300.dat: line 1: the \"Property\" \"Option.Probe.MaxDevicesPerNetwork\" is \"0\": not a whole "
                  "number from 1 to 512\n",
              strOutput);
    // Unreadable (as a user other than root): the reason, and no format error.
    ASSERT_EQ(0, system(("chmod 0 " + strSettings + "vlres300.dat").c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput,
                          getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : ""));
    EXPECT_NE(std::string::npos, strOutput.find("result 12 (path error): " + strSettings +
                                                "vlres300.dat: the configuration cannot be read: permission denied"))
        << strOutput;

    ASSERT_EQ(0, system(("rm " + strSettings + "vlres300.dat && echo '<Configurations " +
                         "xmlns=\"http://vlnet.invalid/orvek-net/2009/05/configurations\"/>' > " + strSettings +
                         "vlres300.dat && mkfifo " + strSettings + "vlres200.dat")
                            .c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_NE(std::string::npos, strOutput.find("the definitions could not be read: " + strSettings +
                                                "vlres200.dat: not a regular file (the device manager's result 15)\n"))
        << strOutput;

    // A resource with a record of an unknown type.
    std::string strResource("VLCM\x01", 5);
    strResource.resize(64, '\0');
    strResource += std::string("\x07\0\0\0\0", 5) + std::string(11, '\0');
    ASSERT_EQ(0, system(("rm " + strSettings + "vlres200.dat").c_str()));
    FILE* fp = fopen((strSettings + "vlres200.dat").c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    fwrite(strResource.data(), 1, strResource.size(), fp);
    fclose(fp);
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_EQ("vlnet: initialization failed: the definitions could not be read: " + strSettings +
                  "vlres200.dat: record 1 (offset 64): a record of an unknown type (the device manager's result 15)\n",
              strOutput);
    // A resource cut short: the file, and that it is cut.
    strResource.resize(70);
    fp = fopen((strSettings + "vlres200.dat").c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    fwrite(strResource.data(), 1, strResource.size(), fp);
    fclose(fp);
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_EQ("vlnet: initialization failed: the definitions could not be read: " + strSettings +
                  "vlres200.dat: record 1 (offset 64): the file is cut: it ends 6 bytes into the record's 16-byte "
                  "head; build it again from its definition list: vlresource build LIST vlres200.dat (the device "
                  "manager's result 15)\n",
              strOutput);
    // A folder where the configuration should be is said to be one.
    ASSERT_EQ(0, system(("rm " + strSettings + "vlres300.dat && mkdir " + strSettings + "vlres300.dat").c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_EQ("vlnet: initialization failed: result 12 (path error): " + strSettings +
                  "vlres300.dat: the configuration is a folder, where a file was expected\n",
              strOutput);
    // A definition its module's reader refuses: the file, the line of the
    // definition that holds it, the element and the attribute.
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    const std::string strShipped =
        std::string(szBin != nullptr ? szBin : VLGetExecutablePath().GetBuffer()) + "/../share/vlnet";
    ASSERT_EQ(0, system(("rm -rf " + strDir + " && cp -r " + strShipped + " " + strDir + " && rm " + strSettings +
                         "vlres200.dat && sed -i 's/function=\"5A22\"/function=\"05A22\"/' " + strSettings +
                         "VLPC.xml && grep -q 05A22 " + strSettings + "VLPC.xml")
                            .c_str()));
    strOutput.clear();
    EXPECT_EQ(1, RunVlnet("probe --resources " + strDir, strOutput));
    EXPECT_EQ(0u, strOutput.find("vlnet: initialization failed: the definitions could not be read: " + strSettings +
                                 "VLPC.xml: line "))
        << strOutput;
    EXPECT_NE(std::string::npos,
              strOutput.find(": <PacketList name=\"FactReset\">: <Function deviceType=\"2B\" function=\"05A22\" "
                             "packetType=\"I\" forceSetup=\"true\"/>: its \"function\" is not valid (the device "
                             "manager's result 14)\n"))
        << strOutput;
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

// Every program of the project reads its line the same way: help and the
// version on standard output with status 0, an unknown command or option named on
// standard error with status 2, "--option=VALUE" as "--option VALUE".
TEST(ProgramConventions, HelpUnknownCommandsAndOptionValues)
{
    struct SProgram
    {
        const char* szName;
        const char* szUnknown;  // an unknown command or option, and how it is named
        const char* szUnknownText;
        const char* szValueLine;  // an option given with "=", and what that makes it say
        const char* szValueText;
    };
    const SProgram kPrograms[] = {
        {"vlnet", "bogus", "vlnet: unknown command 'bogus'", "probe --timeout=soon", "not 'soon'"},
        {"vlscript", "bogus", "vlscript: unknown command 'bogus'", nullptr, nullptr},
        {"vlresource", "bogus", "vlresource: unknown command 'bogus'", nullptr, nullptr},
        {"vlstdtool", "bogus", "vlstdtool: unknown command 'bogus'", "udp-recv 1 --count=none", "'none' is not"},
        {"vlemu", "--bogus", "vlemu: unknown option '--bogus'", "--port=70000 x", "bad port: 70000"},
        {"vltestnet", "--bogus", "vltestnet: unknown option '--bogus'", "--network=100", "--network needs a number"},
    };
    for (const SProgram& program : kPrograms) {
        std::string strOutput;
        EXPECT_EQ(0, RunVlnet("--help 2>/dev/null", strOutput, std::string(), program.szName)) << program.szName;
        EXPECT_EQ(0u, strOutput.find("usage:")) << program.szName << ": " << strOutput;
        strOutput.clear();
        EXPECT_EQ(0, RunVlnet("--version 2>/dev/null", strOutput, std::string(), program.szName)) << program.szName;
        EXPECT_EQ(std::string(program.szName) + " " + CVLCommandLine::GetVersion() + "\n", strOutput);
        strOutput.clear();
        EXPECT_EQ(2, RunVlnet(program.szUnknown, strOutput, std::string(), program.szName)) << program.szName;
        EXPECT_EQ(0u, strOutput.find(std::string(program.szUnknownText) + "\n")) << strOutput;
        // It leads to the usage: the usage itself, or the line that points to it.
        EXPECT_TRUE(strOutput.find("\n\nusage:") != std::string::npos ||
                    strOutput.find(" --help' shows the usage\n") != std::string::npos)
            << program.szName << ": " << strOutput;
        if (program.szValueLine == nullptr)
            continue;
        strOutput.clear();
        EXPECT_NE(0, RunVlnet(program.szValueLine, strOutput, std::string(), program.szName)) << program.szName;
        EXPECT_NE(std::string::npos, strOutput.find(program.szValueText)) << program.szName << ": " << strOutput;
    }
    // The emulator's usage lists every key of a device line.
    std::string strUsage;
    RunVlnet("--help", strUsage, std::string(), "vlemu");
    for (const char* szKey : {"mac=",     "ip=",        "mask=",    "gw=",       "dns=",      "ipmode=",   "number=",
                              "version=", "encrypted=", "cipher=",  "kind=",     "model=",    "node=",     "location=",
                              "contact=", "firmware=",  "serial=",  "password=", "wireless=", "unicast=",  "delay=",
                              "loss=",    "restart=",   "hostile=", "flood=",    "rate=",     "straygap=", "services="})
        EXPECT_NE(std::string::npos, strUsage.find(szKey)) << szKey;
}

TEST(VLNetOptions, RunOffersTheCommandsTheDeviceManagerCarriesOut)
{
    const std::string strUsage = CVLNetOptions::GetUsage("run");
    const std::string strWithheld = strUsage.substr(strUsage.find("not offered"));
    int nOffered = 0;
    std::string strWhy;
#define VLNET_TEST_COMMAND(ID, NAME, REPORT, CARRIED, RETRY)                                \
    EXPECT_EQ(CARRIED, CVLNetCommands::IsDeviceCommand(#NAME, strWhy)) << #NAME;            \
    EXPECT_EQ(!(CARRIED), strWithheld.find("  " #NAME "\n") != std::string::npos) << #NAME; \
    EXPECT_NE(std::string::npos, strUsage.find("  " #NAME "\n")) << #NAME;                  \
    nOffered += (CARRIED) ? 1 : 0;
    VLECM_COMMAND_LIST(VLNET_TEST_COMMAND)
#undef VLNET_TEST_COMMAND
    EXPECT_EQ(9, nOffered);
}
