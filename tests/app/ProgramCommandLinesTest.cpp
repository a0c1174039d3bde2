// Every program answers its command line by one rule: help on standard
// output with status 0; a line it cannot use named on standard error, with
// the usage or a line that points to it after it, status 2; a failure named
// on standard error, status 1, output that could not be written too. "-h" as a value (an option's, a datagram's text, a script function's
// argument) is that value.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "base/core/VLFileSystem.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TempFolder.h"

namespace {
using SRun = SProgramRun;

// Runs a program of the build with the arguments (through the shell), after
// strPrefix ("ip netns exec NS "), bounded so that a hang fails.
// strOutput: where standard output goes instead (its text is then empty).
SRun RunProgram(const std::string& strProgram, const std::string& strArgs, const std::string& strPrefix = "",
                const std::string& strOutput = "")
{
    std::string strFiles = TestTempFolder() + "/vlcommandline-" + std::to_string(getpid());
    std::string strCommand = strPrefix + "timeout 60 " + CProgramFolder::BinDir() + "/" + strProgram + " " + strArgs +
                             " >" + (strOutput.empty() ? strFiles + ".out" : strOutput) + " 2>" + strFiles +
                             ".err </dev/null";
    int nStatus = system(strCommand.c_str());
    SRun run;
    run.nStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    run.strOutput = CProgramFolder::ReadAll(strFiles + ".out");
    run.strErrors = CProgramFolder::ReadAll(strFiles + ".err");
    unlink((strFiles + ".out").c_str());
    unlink((strFiles + ".err").c_str());
    return run;
}

struct SLine
{
    const char* szProgram;
    const char* szArgs;
    int nStatus;
    const char* szText;  // in the errors; for status 0 in the output
    // Standard output is /dev/full, which no write fits.
    bool bOutputFull = false;
    // For status 2: the usage, or the line that points to it, follows the
    // fault (not for a value refused).
    bool bUsage = true;
};

// What every program says of output it could not write.
#define VL_TEST_FULL ": standard output could not be written: No space left on device\n"

// A script the project ships, whose functions take a number.
#define VL_TEST_NET_RETRY_SCRIPT VL_TEST_SOURCE_DIR "/../resources/Settings/Default/NetRetry.vls"
// A script whose functions take an int, a uint64, a float.
#define VL_TEST_NUMBER_EDGES_SCRIPT VL_TEST_SOURCE_DIR "/app/data/NumberEdges.vls"

const SLine kLines[] = {
    {"vlnet", "", 2, "vlnet: no command given"},
    {"vlnet", "probe extra", 2, "vlnet: probe takes no argument"},
    {"vlnet", "probe --timeout", 2, "vlnet: --timeout needs a value"},
    {"vlnet", "probe --resources -h", 1, "path error"},
    {"vlnet", "probe --help", 0, "usage: vlnet probe"},
    {"vlnet", "run --help", 0, "A SetDetail or\nFactReset stopped (Ctrl-C) or left"},
    {"vlnet", "help probe", 0, "usage: vlnet probe"},
    {"vlnet", "help bogus", 2, "vlnet: unknown command 'bogus'\n"},
    {"vlnet", "prbe", 2, "vlnet: unknown command 'prbe'; did you mean probe?\n"},
    {"vlnet", "--timeout 5 probe", 2,
     "vlnet: '--timeout' stands before the command, and options follow it: vlnet probe --timeout 5\n"},
    // The line proposed does not show the password given.
    {"vlnet", "--password secret run 0026AB000001 SetDetail VLPC.2B_5A10_01.Location=x", 2, " --password PW"},
    {"vlnet", "ulr", 2, "vlnet: unknown command 'ulr'; did you mean url?\n"},
    {"vlnet", "probe --timeout 86400 --help", 0, "usage: vlnet probe"},
    {"vlnet", "--help", 1, "vlnet" VL_TEST_FULL, true},
    {"vlnet", "--version", 1, "vlnet" VL_TEST_FULL, true},
    {"vlnet", "run --help", 1, "vlnet" VL_TEST_FULL, true},
    {"vlscript", "--help", 1, "vlscript" VL_TEST_FULL, true},
    {"vlscript", "--version", 1, "vlscript" VL_TEST_FULL, true},
    {"vlscript", "help bogus", 2, "vlscript: unknown command 'bogus'\n"},
    {"vlresource", "--help", 1, "vlresource" VL_TEST_FULL, true},
    {"vlstdtool", "--help", 1, "vlstdtool" VL_TEST_FULL, true},
    {"vlemu", "--help", 1, "vlemu" VL_TEST_FULL, true},
    {"vltestnet", "--version", 1, "vltestnet" VL_TEST_FULL, true},
    {"vlnet", "-h run", 0, "usage: vlnet run"},
    {"vlnet", "probe --mac 0026AB000001 --mac 0026AB000002", 2, "vlnet: one device: --mac once"},
    {"vlnet", "run 0026AB000001 getdetail", 2, "vlnet: unknown device command 'getdetail'; did you mean GetDetail?"},
    {"vlnet", "run 10.0.0.1 GetDetial", 2, "vlnet: unknown device command 'GetDetial'; did you mean GetDetail?"},
    {"vlnet", "run 0026AB000001 Bogus", 2, "command 'Bogus'; 'vlnet run --help' lists them"},
    {"vlnet", "run 0026AB000001 DeleteWebService", 2,
     "vlnet: DeleteWebService is not offered: the device manager answers it with 3 (not supported)"},
    {"vlnet", "run printer.example GetDetail", 2, "vlnet: 'printer.example' is neither a MAC address"},
    {"vlnet", "run 0026AB000001 GetDetail --password-file /nonexistent", 2,
     "vlnet: --password-file: /nonexistent cannot be read: No such file or directory\n", false, false},
    {"vlstdtool", "interfaces extra", 2, "vlstdtool: interfaces takes no arguments"},
    {"vlstdtool", "udp-send 127.0.0.1", 2, "vlstdtool: udp-send takes HOST PORT TEXT"},
    {"vlstdtool", "convert UTF-8", 2, "vlstdtool: convert takes two charset names"},
    {"vlstdtool", "xml", 2, "vlstdtool: xml takes one file"},
    {"vlstdtool", "udp-recv 40000 --timeout", 2, "vlstdtool: udp-recv: --timeout needs a value"},
    {"vlstdtool", "udp-recv 1 --timeout=-h", 2, "vlstdtool: udp-recv: '-h' is not a valid time-out"},
    {"vlstdtool", "udp-send 127.0.0.1 9 -h", 0, "sent 2 bytes to 127.0.0.1:9"},
    {"vlstdtool", "udp-send 127.255.255.255 9 x", 1,
     "vlstdtool: udp-send: cannot send to 127.255.255.255 port 9: permission denied (a broadcast address needs "
     "--broadcast)\n"},
    {"vlstdtool", "udp-send 10.1 9 x", 1, "vlstdtool: udp-send: 10.1: invalid address: an IPv4 address is four"},
    {"vlstdtool", "udp-send --help", 0, "usage: vlstdtool"},
    {"vlscript", "compile t.vls -o", 2, "vlscript: -o needs a folder"},
    {"vlscript", "compile t.vls", 2, "vlscript: compile needs -o DIR after FILE"},
    // A number parameter takes a number, not any text read as 0.
    {"vlscript", "run " VL_TEST_NET_RETRY_SCRIPT " IsRetryForOpenError 65", 0, "true\n"},
    {"vlscript", "run " VL_TEST_NET_RETRY_SCRIPT " IsRetryForOpenError x", 2,
     "vlscript: run: 'x' is not a number for parameter 1 of IsRetryForOpenError (long)"},
    {"vlscript", "run " VL_TEST_NET_RETRY_SCRIPT " IsRetryForOpenError 1-2", 2,
     "vlscript: run: '1-2' is not a number for parameter 1 of IsRetryForOpenError (long)"},
    // Nor a number its type cannot hold, which the language would wrap or clamp.
    {"vlscript", "run " VL_TEST_NET_RETRY_SCRIPT " IsRetryForOpenError 99999999999999999999", 2,
     "vlscript: run: '99999999999999999999' is out of range for parameter 1 of IsRetryForOpenError (long: "
     "-2147483648 to 2147483647)"},
    {"vlscript", "run " VL_TEST_NET_RETRY_SCRIPT " IsRetryForOpenError 2147483648", 2, "is out of range"},
    {"vlscript", "run " VL_TEST_NET_RETRY_SCRIPT " IsRetryForOpenError -2147483648", 0, "false\n"},
    {"vlscript", "run " VL_TEST_NUMBER_EDGES_SCRIPT " Int 2147483647", 0, "true\n"},
    {"vlscript", "run " VL_TEST_NUMBER_EDGES_SCRIPT " UInt64 18446744073709551616", 2,
     "vlscript: run: '18446744073709551616' is out of range for parameter 1 of UInt64 (uint64: 0 to "
     "18446744073709551615)"},
    {"vlscript", "run " VL_TEST_NUMBER_EDGES_SCRIPT " Float 1000000000000000000000000000000000000000", 2,
     "is out of range for parameter 1 of Float (float: -3.4e38 to 3.4e38)"},
    {"vlscript", "run " VL_TEST_NET_RETRY_SCRIPT " IsRetryForOpenError 65 1", 2,
     "vlscript: run: IsRetryForOpenError takes 1 argument, not 2"},
    {"vlscript", "run", 2, "vlscript: run takes at least 2 arguments, not 0"},
    {"vlscript", "run /nonexistent.vls F -h", 1, "vlscript: cannot read /nonexistent.vls"},
    {"vlscript", "compile /nonexistent.vls -o -h", 1, "vlscript: cannot read /nonexistent.vls"},
    {"vlresource", "build x", 2, "vlresource: build takes 2 arguments, not 1"},
    {"vlresource", "dump --help", 0, "usage:"},
    {"vlemu", "", 2, "vlemu: no file of devices given"},
    {"vlemu", "--port", 2, "vlemu: --port needs a value"},
    {"vlemu", "--bind=-h /nonexistent", 1, "vlemu: cannot read /nonexistent: No such file or directory\n"},
    {"vltestnet", "--network 1 '' --network 1", 2, "vltestnet: --network 1 is given twice: each network once\n"},
    {"vltestnet", "--network 1 '' 'unicast=1 colour=red'", 2,
     "vltestnet: DEVICE 'unicast=1 colour=red' of --network 1: unknown key: colour\n"},
    {"vltestnet", "--prefix 'lab 1' --network 1", 2,
     "vltestnet: --prefix 'lab 1' cannot begin a namespace's name: a prefix holds only letters, digits, '_' and '-'\n"},
};
}  // namespace

TEST(ProgramCommandLines, StatusUsageAndMessageOfEachLine)
{
    for (const SLine& line : kLines) {
        std::string strLine = std::string(line.szProgram) + " " + line.szArgs;
        SRun run = RunProgram(line.szProgram, line.szArgs, "", line.bOutputFull ? "/dev/full" : "");
        EXPECT_EQ(line.nStatus, run.nStatus) << strLine << "\n" << run.strErrors;
        const std::string& strText = line.nStatus == 0 ? run.strOutput : run.strErrors;
        EXPECT_NE(std::string::npos, strText.find(line.szText)) << strLine << "\n" << strText;
        if (line.nStatus == 2) {
            EXPECT_EQ(0u, run.strErrors.find(std::string(line.szProgram) + ": ")) << strLine;
            const bool bUsage = run.strErrors.find("\n\nusage") != std::string::npos ||
                                run.strErrors.find(" --help' shows the usage\n") != std::string::npos;
            EXPECT_EQ(line.bUsage, bUsage) << strLine << "\n" << run.strErrors;
            EXPECT_EQ("", run.strOutput) << strLine;
        }
    }

    // The emulator's usage lists every key of a device line and every
    // hostile kind, the latest ones too.
    SRun emu = RunProgram("vlemu", "--help");
    for (const char* szKey :
         {"limiteddelay=", "directeddelay=", "pool=", "result=", "errorheaders", "forgedmacs", "changing"})
        EXPECT_NE(std::string::npos, emu.strOutput.find(szKey)) << szKey;

    // A failure that is not a broadcast without --broadcast does not blame
    // one: a name that does not resolve, in a namespace with only loopback.
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    ASSERT_TRUE(net.AddHost("pc"));
    SRun unknown =
        RunProgram("vlstdtool", "udp-send no-such-host.invalid 9 x", "ip netns exec " + net.Namespace("pc") + " ");
    EXPECT_EQ(1, unknown.nStatus) << unknown.strErrors;
    EXPECT_EQ(0u, unknown.strErrors.find("vlstdtool: udp-send: no-such-host.invalid: the name did not resolve ("))
        << unknown.strErrors;
    EXPECT_EQ(std::string::npos, unknown.strErrors.find("--broadcast")) << unknown.strErrors;
    // Nor does a broadcast that no route leads to.
    SRun unreachable = RunProgram("vlstdtool", "udp-send 255.255.255.255 9 x --broadcast",
                                  "ip netns exec " + net.Namespace("pc") + " ");
    EXPECT_EQ(1, unreachable.nStatus) << unreachable.strErrors;
    EXPECT_EQ(
        "vlstdtool: udp-send: cannot send to 255.255.255.255 port 9: network unreachable (no route leads there)\n",
        unreachable.strErrors);
}

namespace {

// A folder of files for the tools, the programs run inside it.
class CToolFiles : public CProgramFolder
{
public:
    CToolFiles()
    {
        Write("t.vls", "int Add(int a, int b) { return a + b; }\nint Div(int a, int b) {\n  return a / b; }\n"
                       "string Text() { return \"two words\"; }\n");
        Write("bad.vls", "int F() {\n  int x\n  return 1; }\n");
        Write("a.xml", "<A>\n  <b>x</b>\n</A>\n");
        Write("bad.xml", "<A>\n  <b>x</c>\n</A>\n");
        Write("list.dat", "<List><File name=\"a.xml\"/><File name=\"t.vls\" type=\"script\"/></List>\n");
        Write("badlist.dat", "<List><File name=\"bad.xml\"/></List>\n");
        Write("badscript.dat", "<List><File name=\"bad.vls\" type=\"script\"/></List>\n");
    }
};

}  // namespace

// Output that cannot be written is a failure with the write's reason, in
// every program and command that writes any: to a full device, and closed.
TEST(ProgramCommandLines, OutputThatCannotBeWrittenFailsWithTheReason)
{
    static const struct
    {
        const char* szProgram;
        const char* szArgs;
    } kWrites[] = {
        {"vlscript", "run t.vls Add 2 3"},
        {"vlscript", "compile t.vls -o images"},
        {"vlstdtool", "interfaces"},
        {"vlstdtool", "udp-send 127.0.0.1 9 x"},
        {"vlstdtool", "xml a.xml"},
        {"vlstdtool", "unscramble a.xml"},
        {"vlstdtool", "convert UTF-8 UTF-16LE <a.xml"},
        {"vlresource", "dump list.dat"},
        {"vlnet", "--help"},
        {"vlnet", "probe --help"},
        {"vlnet", "--version"},
    };
    CToolFiles files;
    for (const auto& write : kWrites) {
        for (const char* szOutput : {"/dev/full", "&-"}) {
            SRun run = files.Run(write.szProgram, write.szArgs, szOutput);
            const std::string strReason = szOutput[0] == '/' ? "No space left on device" : "Bad file descriptor";
            EXPECT_EQ(1, run.nStatus) << write.szProgram << " " << write.szArgs << " >" << szOutput;
            EXPECT_EQ(std::string(write.szProgram) + ": standard output could not be written: " + strReason + "\n",
                      run.strErrors)
                << write.szProgram << " " << write.szArgs << " >" << szOutput;
        }
    }
}

// What the tools say: the reason and where, in words, and a usage error in
// two lines, its reason and where the usage is.
TEST(ProgramCommandLines, ToolMessagesSayWhatWasWrongAndWhere)
{
    static const struct
    {
        const char* szProgram;
        const char* szArgs;
        int nStatus;
        const char* szText;  // the whole of the errors; for status 0 of the output
    } kMessages[] = {
        {"vlscript", "rn", 2,
         "vlscript: unknown command 'rn'; did you mean run?\nvlscript: 'vlscript --help' shows the usage\n"},
        {"vlscript", "run bad.vls F", 1, "vlscript: bad.vls: line 3, column 3: ';' was expected (error 1013)\n"},
        {"vlscript", "run t.vls Div 1 0", 1, "vlscript: t.vls: line 3: division by zero\n"},
        {"vlscript", "run t.vls Add 2 3", 0, "5\n"},
        {"vlscript", "run t.vls Text", 0, "two words\n"},
        {"vlscript", "run --dump t.vls Add 2 3", 0, "[5](is modify)\n"},
        {"vlscript", "run t.vls Sub 2 3", 1, "vlscript: t.vls has no function Sub\n"},
        {"vlscript", "run nothing.vls F", 1, "vlscript: cannot read nothing.vls: No such file or directory\n"},
        {"vlscript", "compile t.vls -o t.vls/images", 1,
         "vlscript: cannot create the folder t.vls/images: Not a directory\n"},
        {"vlstdtool", "xml a.xml --fromat", 2,
         "vlstdtool: xml: unknown option '--fromat'\nvlstdtool: 'vlstdtool --help' shows the usage\n"},
        {"vlstdtool", "xml bad.xml", 1, "vlstdtool: bad.xml: line 2, column 9: not well-formed XML: the end tag </c> does not match the "
         "start tag <b> (line 2)\n"},
        {"vlstdtool", "xml nothing.xml", 1, "vlstdtool: nothing.xml: cannot be opened: No such file or directory\n"},
        {"vlstdtool", "xml a.xml --format --format", 2,
         "vlstdtool: xml: --format given twice\nvlstdtool: 'vlstdtool --help' shows the usage\n"},
        {"vlstdtool", "udp-send 127.0.0.1 9 x", 0, "sent 1 byte to 127.0.0.1:9\n"},
        {"vlresource", "dump badlist.dat", 1, "vlresource: ./bad.xml: line 2, column 9: not well-formed XML: the end tag </c> does not match the "
         "start tag <b> (line 2)\n"},
        {"vlresource", "dump badscript.dat", 1,
         "vlresource: ./bad.vls: line 3, column 3: ';' was expected (error 1013)\n"},
        {"vlresource", "dmp x", 2,
         "vlresource: unknown command 'dmp'; did you mean dump?\nvlresource: 'vlresource --help' shows the usage\n"},
        // A folder or a FIFO where a file is expected: named, neither waited
        // for nor replaced.
        {"vlstdtool", "xml .", 1, "vlstdtool: .: not a regular file\n"},
        {"vlstdtool", "scramble a.xml folder", 1, "vlstdtool: folder: not written: it is a folder\n"},
        {"vlstdtool", "scramble fifo out.bin", 1, "vlstdtool: fifo: not a regular file\n"},
        {"vlstdtool", "unscramble fifo", 1, "vlstdtool: fifo: not a regular file\n"},
    };
    CToolFiles files;
    ASSERT_EQ(0, mkdir((files.Dir() + "/folder").c_str(), 0755));
    ASSERT_EQ(0, mkfifo((files.Dir() + "/fifo").c_str(), 0644));
    for (const auto& message : kMessages) {
        SRun run = files.Run(message.szProgram, message.szArgs);
        EXPECT_EQ(message.nStatus, run.nStatus) << message.szProgram << " " << message.szArgs << "\n" << run.strErrors;
        EXPECT_EQ(message.szText, message.nStatus == 0 ? run.strOutput : run.strErrors)
            << message.szProgram << " " << message.szArgs;
    }
}

namespace {
// ASCII text as UTF-16LE, or as UTF-16BE.
std::string Utf16(const std::string& strAscii, bool bBig = false)
{
    std::string strOut;
    for (char c : strAscii)
        strOut += bBig ? std::string(1, '\0') + c : std::string(1, c) + '\0';
    return strOut;
}
const std::string kUnread = ": the reader reads UTF-8, UTF-16, Shift_JIS and EUC-JP\n";
const std::string kSjisDeclaration = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>";
}  // namespace

// vlstdtool xml writes a document back whole or not at all: each construct
// is kept, or the document is refused with the construct and where it
// stands; --format indents whatever blanks the document came with.
TEST(ProgramCommandLines, XmlRoundTripKeepsEachConstructOrRefusesTheDocument)
{
    static const struct
    {
        std::string strInput;
        const char* szOptions;
        int nStatus;
        std::string strExpected;  // the output for 0 ("" for the input itself), else the errors
    } kRows[] = {
        {"<a><![CDATA[if (x < y) return;]]></a>", "", 1,
         "vlstdtool: t.xml: line 1, column 4: a CDATA section would be lost: the reader drops it\n"},
        {"<!DOCTYPE r [<!ENTITY e \"x\">]>\n<r/>", "", 1,
         "vlstdtool: t.xml: line 1, column 1: the DOCTYPE would be lost: the reader drops it\n"},
        {"<r>\n  <?app data?>\n</r>", "", 1,
         "vlstdtool: t.xml: line 2, column 3: a processing instruction would be lost: the reader drops it\n"},
        {"<r a=\"1 &e;\"/>", "", 1,
         "vlstdtool: t.xml: line 1, column 9: the reference &e; to an undeclared entity would become the text "
         "\"&e;\"\n"},
        {"<?xml version=\"1.0\" standalone=\"yes\"?><r/>", "", 1,
         "vlstdtool: t.xml: line 1, column 21: the standalone declaration would be lost: the reader drops it\n"},
        // Comments, references to characters the writer must escape again.
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"x&#9;y&#10;z\"><!-- note -->a&#13;&lt;b&amp;</r>", "", 0,
         ""},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r>\r\n  <c a=\"1\">\r\n    <d/>\r\n  </c>\r\n  <e> x </e>\r\n"
         "</r>\r\n",
         "--format", 0,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n\t<c a=\"1\">\n\t\t<d/>\n\t</c>\n\t<e> x </e>\n</r>\n"},
        // Written in the encoding read, NEC row, backslash and tilde included.
        {kSjisDeclaration + "<r a=\"\x8a\xbf\x8e\x9a\">\x81\x60\x87\x40\\~\xb1</r>", "", 0, ""},
        {"\xff\xfe" + Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>") + "\xe9" + std::string(1, '\0') +
             Utf16("</r>"),
         "", 0, ""},
        {kSjisDeclaration + "<r>\xa0</r>", "", 1,
         "vlstdtool: t.xml: cannot be written back in its encoding: it holds bytes that are no Shift_JIS character "
         "(read as U+FFFE)\n"},
        // An encoding the reader does not read is named, pure ASCII or not;
        // one that it reads but the bytes do not bear out disagrees.
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe9</r>", "", 1,
         "vlstdtool: t.xml: line 1, column 41: ISO-8859-1" + kUnread},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?><r/>", "", 1,
         "vlstdtool: t.xml: line 1, column 39: US-ASCII" + kUnread},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r/>", "", 1,
         "vlstdtool: t.xml: line 1, column 43: windows-1252" + kUnread},
        {"<?xml version=\"1.0\" encoding=\"CP932\"?><r/>", "", 1,
         "vlstdtool: t.xml: line 1, column 36: CP932" + kUnread},
        {"<?xml version=\"1.0\" encoding=\"Windows-31J\"?><r/>", "", 1,
         "vlstdtool: t.xml: line 1, column 42: Windows-31J" + kUnread},
        {"\xef\xbb\xbf" + kSjisDeclaration + "<r/>", "", 1,
         "vlstdtool: t.xml: line 1, column 43: the encoding the XML declaration names disagrees with the text\n"},
        // --format lays out only what holds no text: what xml:space="preserve"
        // covers (up to an xml:space="default"), mixed content and texts stay.
        {"<r>\n <p xml:space=\"preserve\">\n  <a/><q xml:space=\"default\"> <b/></q>\n</p>\n"
         " <m>a\n <b>\n  <c/>\n </b>\n z\n</m>\n <e>\t\n</e>\n</r>",
         "--format", 0,
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r>\n"
         "\t<p xml:space=\"preserve\">\n  <a/><q xml:space=\"default\">\n\t\t\t<b/>\n\t\t</q>\n</p>\n"
         "\t<m>a\n <b>\n  <c/>\n </b>\n z\n</m>\n\t<e>\t\n</e>\n</r>\n"},
        // Blanks alone are an element's content too.
        {"<?xml version=\"1.0\"?><r>\n</r>", "", 0, ""},
        // The byte-order mark and the UTF-16 form come back; no declaration
        // is added unless --format writes one.
        {"\xef\xbb\xbf<r>\n</r>", "", 0, ""},
        {"\xef\xbb\xbf<r/>", "--format", 0, "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r/>\n"},
        {"\xff\xfe" + Utf16("<r/>"), "", 0, ""},
        {"\xfe\xff" + Utf16("<r/>", true), "--format", 0,
         "\xfe\xff" + Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r/>\n", true)},
        {Utf16("<?xml version=\"1.0\"?><r/>", true), "", 0, ""},
        {Utf16("<?xml version=\"1.0\" encoding=\"UTF-16LE\"?><r/>"), "", 0, ""},
        {"\xff\xfe" + Utf16("<r>") + std::string("\0\xd8", 2) + Utf16("</r>"), "", 1,
         "vlstdtool: t.xml: cannot be written back in its encoding: it holds bytes that are no UTF-16LE character "
         "(read as U+FFFE)\n"},
        // The blanks outside the root element and the declaration come back
        // as written.
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n  <a/>\n</r>\n", "", 0, ""},
        {"<?xml  version='1.0'   encoding='utf-8' ?>\n<r/>", "", 0, ""},
        {"<?xml version=\"1.0\"?>\n<!-- c -->\n\n<r/>\n<!-- d -->\n", "", 0, ""},
        {"\xff\xfe" + Utf16("<?xml version = '1.0'\n\tencoding='UTF-16'?>\n<!-- c -->\n<r/>\n"), "", 0, ""},
        // A document that is not well-formed is refused with what was wrong.
        {"<r a=\"1\" b='2' a=\"3\"/>", "", 1,
         "vlstdtool: t.xml: line 1, column 20: not well-formed XML: attribute 'a' appears twice in one tag\n"},
        {"<r>\n <p:x/></r>", "", 1,
         "vlstdtool: t.xml: line 2, column 7: not well-formed XML: the prefix 'p' of element <p:x> is bound to no "
         "namespace\n"},
        {"<r xmlns:q='u'><x q:a='1' p:b='2'/></r>", "", 1,
         "vlstdtool: t.xml: line 1, column 35: not well-formed XML: the prefix 'p' of attribute 'p:b' is bound to no "
         "namespace\n"},
        {"<r>\xff</r>", "", 1,
         "vlstdtool: t.xml: line 1, column 4: not well-formed XML: a byte (0xFF) that is not "
         "valid UTF-8\n"},
        {"<r>\xc3<</r>", "", 1,
         "vlstdtool: t.xml: line 1, column 5: not well-formed XML: a UTF-8 sequence cut short "
         "(byte 0x3C where it goes on)\n"},
        {std::string("<r>a\0</r>", 9), "", 1,
         "vlstdtool: t.xml: line 1, column 5: not well-formed XML: a NUL byte, which XML does not allow\n"},
        {"", "", 1, "vlstdtool: t.xml: line 1, column 1: not well-formed XML: the document is empty\n"},
        {"<?xml version=\"1.0\"?>\n<!-- c -->\n", "", 1,
         "vlstdtool: t.xml: line 3, column 1: not well-formed XML: the document has no root element\n"},
        {"<r>\n  <a>\n  </a>\n", "", 1,
         "vlstdtool: t.xml: line 4, column 1: not well-formed XML: <r> (line 1) is not closed: the document ends "
         "before its end tag\n"},
        {"<r/>\n<s/>\n", "", 1,
         "vlstdtool: t.xml: line 2, column 2: not well-formed XML: a second root element <s>, after <r> (line 1): a "
         "document has one root element\n"},
        {"<?xml version=\"1.0\"" + std::string(240, ' ') + "?><r/>", "", 1,
         "vlstdtool: t.xml: the XML declaration would be rewritten: the reader keeps no more than 256 bytes of it\n"},
    };
    CToolFiles files;
    for (const auto& row : kRows) {
        files.Write("t.xml", row.strInput);
        SRun run = files.Run("vlstdtool", std::string("xml t.xml ") + row.szOptions);
        EXPECT_EQ(row.nStatus, run.nStatus) << row.strInput << "\n" << run.strErrors;
        if (row.nStatus == 0)
            EXPECT_EQ(row.strExpected.empty() ? row.strInput : row.strExpected, run.strOutput) << row.strInput;
        else
            EXPECT_EQ(row.strExpected, run.strErrors) << row.strInput;
        EXPECT_EQ("", row.nStatus == 0 ? run.strErrors : run.strOutput) << row.strInput;
    }
}

// vlresource builds and prints definitions only: what is no list, a list it
// cannot read whole, a resource that holds nothing or is cut are refused,
// naming what was expected, and nothing is written.
TEST(ProgramCommandLines, ResourceToolRefusesWhatIsNoDefinitionList)
{
    const std::string strHeader = std::string("VLCM\x01", 5) + std::string(59, '\0');
    static const struct
    {
        const char* szArgs;
        const char* szErrors;
    } kRows[] = {
        {"build a.xml out.dat",
         "vlresource: ./a.xml: not a definition list: <A> holds <b>, where <File name=\"...\" type=\"xml|script\"/> "
         "elements were expected\n"},
        {"build typo.dat out.dat",
         "vlresource: ./typo.dat: <File name=\"a.xml\"> has the type \"xlm\", where xml or script was expected\n"},
        {"dump typo.dat",
         "vlresource: ./typo.dat: <File name=\"a.xml\"> has the type \"xlm\", where xml or script was expected\n"},
        {"build none.dat out.dat",
         "vlresource: ./none.dat: not a definition list: it names no file (<File name=\"...\" "
         "type=\"xml|script\"/> elements)\n"},
        {"build cdatalist.dat out.dat",
         "vlresource: ./cdata.xml: line 1, column 4: a CDATA section would be lost: the reader drops it\n"},
        {"dump empty.dat",
         "vlresource: empty.dat: an empty resource: no document and no script, where the definitions were "
         "expected\n"},
        {"dump cuthead.dat", "vlresource: cuthead.dat: the file is cut: it ends 30 bytes into the 64-byte header; "
                             "build it again from its definition list: vlresource build LIST cuthead.dat\n"},
        {"dump cutbody.dat",
         "vlresource: cutbody.dat: record 1 (offset 64): the file is cut: the record's body is 100 bytes long, and "
         "the file ends 10 bytes into it; build it again from its definition list: vlresource build LIST "
         "cutbody.dat\n"},
        {"build empty.dat out.dat",
         "vlresource: empty.dat: a definition resource, not a list: build reads a list (dump prints a resource)\n"},
        // A folder where a file is expected.
        {"dump .", "vlresource: .: not a regular file\n"},
        {"build list.dat .", "vlresource: .: not written: it is a folder\n"},
    };
    CToolFiles files;
    files.Write("typo.dat", "<List><File name=\"a.xml\" type=\"xlm\"/></List>");
    files.Write("none.dat", "<List>\n</List>\n");
    files.Write("cdata.xml", "<A><![CDATA[x]]></A>");
    files.Write("cdatalist.dat", "<List><File name=\"cdata.xml\"/></List>");
    files.Write("empty.dat", strHeader);
    files.Write("cuthead.dat", strHeader.substr(0, 30));
    files.Write("cutbody.dat", strHeader + std::string("\x01\x00\x00\x00\x64", 5) + std::string(21, '\0'));
    for (const auto& row : kRows) {
        SRun run = files.Run("vlresource", row.szArgs);
        EXPECT_EQ(1, run.nStatus) << row.szArgs << "\n" << run.strErrors;
        EXPECT_EQ(row.szErrors, run.strErrors) << row.szArgs;
        EXPECT_EQ("", run.strOutput) << row.szArgs;
        EXPECT_NE(0, access((files.Dir() + "/out.dat").c_str(), F_OK)) << row.szArgs;
        unlink((files.Dir() + "/out.dat").c_str());
    }

    // The program started on such a resource says which file and what it
    // lacks, before anything is sent.
    VL_NEEDS_NAMESPACES();
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    std::string strBin = szBin != nullptr ? szBin : Bytes(VLGetExecutablePath());
    std::string strResources = files.Dir() + "/resources";
    ASSERT_EQ(0, system(("cp -r '" + strBin + "/../share/vlnet' '" + strResources + "' && cp '" + files.Dir() +
                         "/empty.dat' '" + strResources + "/Settings/Default/vlres200.dat'")
                            .c_str()));
    CTestNetwork net;
    ASSERT_TRUE(net.AddHost("pc"));
    std::string strOutput, strErrors;
    EXPECT_EQ(1, net.RunProgram("pc", {strBin + "/vlnet", "probe", "--timeout", "5", "--resources", strResources},
                                &strOutput, &strErrors));
    EXPECT_EQ("vlnet: initialization failed: " + strResources +
                  "/Settings/Default/vlres200.dat: no function \"Probe\" is defined: there is no \"ModuleMapping\" "
                  "document\n",
              strErrors);
}

// An option of the configuration that does not read as what it must be
// refuses the start, naming the file, the line and the key; one that reads
// as meant starts; a key that no option has, or an element that is not
// read, is named with the one meant, and the run goes on.
TEST(ProgramCommandLines, TheOptionsVlnetReadsAreChecked)
{
    VL_NEEDS_NAMESPACES();
    CToolFiles files;
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    std::string strBin = szBin != nullptr ? szBin : Bytes(VLGetExecutablePath());
    const std::string strResources = files.Dir() + "/resources";
    const std::string strConfiguration = strResources + "/Settings/Default/vlres300.dat";
    ASSERT_EQ(0, system(("cp -r '" + strBin + "/../share/vlnet' '" + strResources + "'").c_str()));
    CTestNetwork net;
    ASSERT_TRUE(net.AddHost("pc"));
    static const struct
    {
        const char* szProperty;
        int nStatus;
        const char* szErrors;
    } kRows[] = {
        {"<Property key=\"Option.CheckUnicast.Timeout\" value=\"abc\"/>", 1,
         "vlnet: initialization failed: result 13 (configuration error): CONF: line 4: the \"Property\" "
         "\"Option.CheckUnicast.Timeout\" is \"abc\": not a "
         "whole number of milliseconds from 1 to 3600000\n"},
        {"<Property key=\"Option.CheckUnicast.Timout\" value=\"3000\"/>", 1,
         "vlnet: CONF: line 4: the \"Property\" \"Option.CheckUnicast.Timout\" names no option and is not used; did "
         "you "
         "mean Option.CheckUnicast.Timeout?\n"
         "vlnet: no probe could be sent"},
        // What the options' readers take as meant starts: a flag of "" or
        // "2", the top time-out and retry count.
        {"<Property key=\"Option.Probe.OmitGetMoreInfo\" value=\"\"/>"
         "<Property key=\"Option.KRRT.CheckMACAddress\" value=\"2\"/>"
         "<Property key=\"Option.GetDetail.Timeout\" value=\"3600000\"/>"
         "<Property key=\"Option.GetDetail.Retry\" value=\"100\"/>",
         1, "vlnet: no probe could be sent"},
        {"</CommunicationManager><CommunicationManger/><CommunicationManager>", 1,
         "vlnet: CONF: line 4: the element \"CommunicationManger\" is not read; did you mean "
         "CommunicationManager?\n"
         "vlnet: no probe could be sent"},
    };
    for (const auto& row : kRows) {
        std::ofstream(strConfiguration) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                           "<Configurations xmlns=\"http://vlnet.invalid/orvek-net/2009/05/"
                                           "configurations\">\n  <CommunicationManager>\n    "
                                        << row.szProperty << "\n  </CommunicationManager>\n</Configurations>\n";
        std::string strOutput, strErrors;
        EXPECT_EQ(row.nStatus, net.RunProgram("pc", {strBin + "/vlnet", "probe", "--resources", strResources},
                                              &strOutput, &strErrors))
            << strErrors;
        std::string strExpected = row.szErrors;
        if (strExpected.find("CONF") != std::string::npos)
            strExpected.replace(strExpected.find("CONF"), 4, strConfiguration);
        EXPECT_EQ(0u, strErrors.find(strExpected)) << strErrors;
    }
}
