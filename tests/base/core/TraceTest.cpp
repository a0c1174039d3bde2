#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "tests/support/TestSupport.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnexpectedException.h"
#include "base/platform/VLTracePropertyList.h"
#include "tests/support/TempFolder.h"

TEST(Trace, NothingWhileOff)
{
    CTraceCapture capture(false);
    CVLTrace::Output("VLStd", "F", 1, 1, "x=%d", 1);
    CVLTrace::OutputFunction("VLStd", "F", 1, "void f()", "x");
    CVLTrace::OutputScope("SCOPE", "F", 1, "y");
    const unsigned char data[1] = {1};
    CVLTrace::OutputDump("VLStd", "F", 1, data, 1);
    EXPECT_TRUE(capture.m_Lines.empty());
    EXPECT_TRUE(capture.m_strRaw.empty());
}

TEST(Trace, LineForms)
{
    CTraceCapture capture;
    CVLTrace::OutputFunction("VLStd", "VLThread", 76,
                             "void CVLThread::Start(VL_THREAD_FUNCTION pThreadFunction, void* pData)",
                             "pData=0x%08x", 0x1234abcdu);
    CVLTrace::Output("VLStd", "F", 3, 1, "100%% done");
    CVLTrace::Output("VLStd", "F", 4, 1, "%s : Return Value = [%d]", "int f()", 5);
    CVLTrace::Output("VL%dStd", "F%s", 5, 1, "plain");  // a "%" in the prefix is text
    ASSERT_EQ(capture.m_Lines.size(), 4u);
    EXPECT_EQ(capture.m_Lines[0],
              "VLStd VLThread line[76] void CVLThread::Start(VL_THREAD_FUNCTION pThreadFunction, void* pData) "
              "pData=0x1234abcd");
    EXPECT_EQ(capture.m_Lines[1], "VLStd F line[3] 100%% done");
    EXPECT_EQ(capture.m_Lines[2], "VLStd F line[4] int f() : Return Value = [5]");
    EXPECT_EQ(capture.m_Lines[3], "VL%dStd F%s line[5] plain");
}

TEST(Trace, Filter)
{
    CTraceCapture capture(true, "6");
    CVLTrace::Output("M", "F", 1, 0, "message");
    CVLTrace::OutputScope("M", "F", 1, "scope");
    const unsigned char data[3] = {1, 2, 3};
    CVLTrace::OutputDump("M", "F", 1, data, 3);
    ASSERT_EQ(capture.m_Lines.size(), 1u);
    EXPECT_EQ(capture.m_Lines[0], "M F line[1] message");
    EXPECT_TRUE(capture.m_strRaw.empty());
}

TEST(Trace, DumpLayout)
{
    CTraceCapture capture;
    CVLTrace::OutputDump("M", "F", 9, nullptr, 0);
    ASSERT_EQ(capture.m_Lines.size(), 1u);
    EXPECT_EQ(capture.m_Lines[0], "M F line[9] ");
    const std::string head = "Address | 00 01 02 03 04 05 06 07-08 09 0A 0B 0C 0D 0E 0F   (0bytes)\n"
                             "--------+" + std::string(67, '-') + "\n";
    EXPECT_EQ(capture.m_strRaw, head + "\n");

    capture.m_strRaw.clear();
    unsigned char data[17];
    for (int i = 0; i < 17; ++i)
        data[i] = static_cast<unsigned char>(i * 16 + 1);
    CVLTrace::OutputDump("M", "F", 9, data, 17);
    std::string rows = std::string(10, ' ') +
                       "01 11 21 31 41 51 61 71 81 91 A1 B1 C1 D1 E1 F1 \n" + std::string(10, ' ') + "01 \n\n";
    EXPECT_EQ(capture.m_strRaw.substr(capture.m_strRaw.find("\n", 80) + 1), rows);
    EXPECT_NE(capture.m_strRaw.find("(17bytes)"), std::string::npos);

    capture.m_strRaw.clear();
    CVLTrace::OutputDump("M", "F", 9, data, 16);
    EXPECT_EQ(capture.m_strRaw.substr(capture.m_strRaw.size() - 3), " \n\n");  // a full row: no extra line feed
}

TEST(Trace, PropertyList)
{
    VLTracePropertyList p = VLParseTracePropertyList(
        "<?xml version=\"1.0\"?><plist><dict><key>TRACE_FLAG</key>\n  <true/>"
        "<key>FUNC_TYPE_FILTER</key><string>2456</string></dict></plist>");
    EXPECT_TRUE(p.bHasFlag);
    EXPECT_TRUE(p.bFlag);
    EXPECT_TRUE(p.bHasFilter);
    EXPECT_EQ(p.strFilter, "2456");
    p = VLParseTracePropertyList("<dict><key>TRACE_FLAG</key><false/></dict>");
    EXPECT_TRUE(p.bHasFlag);
    EXPECT_FALSE(p.bFlag);
    EXPECT_FALSE(p.bHasFilter);
    p = VLReadTracePropertyList("/nonexistent/trace.plist");
    EXPECT_FALSE(p.bHasFlag);

    CTempPath szPath("vltrace-XXXXXX");
    int fd = mkstemp(szPath);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(szPath) << "<plist><dict><key>TRACE_FLAG</key><true/></dict></plist>";
    {
        CTraceCapture capture(false);
        EXPECT_TRUE(CVLTrace::Initialize("VLStd", "T", 1, szPath));
        EXPECT_TRUE(CVLTrace::IsEnabled());
        CVLTrace::OutputScope("M", "F", 1, "every type passes");
        EXPECT_EQ(capture.m_Lines.size(), 1u);
    }
    remove(szPath);
}

TEST(Trace, NothingWhileOffWhateverTheCall)
{
    CTraceCapture capture(false);
    EVLUnexpectedException* pException = new EVLUnexpectedException("VLStd", "F", 1, "text");
    CVLTrace::OutputException("VLStd", "F", 2, pException);
    pException->Delete();
    CVLTrace::OutputDump("VLStd", "F", 3, nullptr, 0);
    CVLTrace::FunctionIn("VLStd", "F", 4, "void f()");
    CVLTrace::FunctionOut("VLStd", "F", 5, "void f()");
    // Initialize without a path turns tracing off as well.
    CVLTrace::SetState(true, nullptr);
    EXPECT_TRUE(CVLTrace::Initialize("VLStd", "T", 1, nullptr));
    EXPECT_FALSE(CVLTrace::IsEnabled());
    CVLTrace::Output("VLStd", "F", 6, 0, "x");
    // A file that cannot be read counts as one without entries.
    EXPECT_TRUE(CVLTrace::Initialize("VLStd", "T", 1, "/nonexistent/dir/trace.plist"));
    EXPECT_FALSE(CVLTrace::IsEnabled());
    CVLTrace::Output("VLStd", "F", 7, 0, "x");
    EXPECT_TRUE(capture.m_Lines.empty());
    EXPECT_TRUE(capture.m_strRaw.empty());
}

TEST(Trace, ExceptionLines)
{
    CTraceCapture capture;
    // The exception's constructor traces it under its own file and line...
    EVLUnexpectedException* pException = new EVLUnexpectedException("VLStd", "Caller", 9, "got %d and %s%n");
    ASSERT_EQ(capture.m_Lines.size(), 1u);
    EXPECT_EQ(capture.m_Lines[0], "VLStd VLUnexpectedException line[45] EVLUnexpectedException : got %d and %s%n");
    // ...and an explicit exception line carries the caller's, text unchanged.
    CVLTrace::OutputException("VLECM", "VLECMDevice", 321, pException);
    CVLTrace::OutputException("VLECM", "VLECMDevice", 322, nullptr);
    pException->Delete();
    ASSERT_EQ(capture.m_Lines.size(), 2u);
    EXPECT_EQ(capture.m_Lines[1], "VLECM VLECMDevice line[321] EVLUnexpectedException : got %d and %s%n");
}

TEST(Trace, FilterByTypeDigit)
{
    {
        // "2456": functions, exceptions, scopes and messages, but no dumps.
        CTraceCapture capture(true, "2456");
        CVLTrace::OutputFunction("M", "F", 1, "void f(int n)", "n=%d", 4);
        CVLTrace::OutputScope("SCOPE", "F", 2, "%08X: New CVLPFWNIFInfo", 0xABCDu);
        CVLTrace::Output("M", "F", 3, 3, "level three");
        (new EVLUnexpectedException("M", "F", 4))->Delete();
        const unsigned char data[2] = {0xAB, 0xCD};
        CVLTrace::OutputDump("M", "F", 5, data, 2);
        std::vector<std::string> expected = {
            "M F line[1] void f(int n) n=4",
            "SCOPE F line[2] 0000ABCD: New CVLPFWNIFInfo",
            "M F line[3] level three",
            "VLStd VLUnexpectedException line[34] EVLUnexpectedException",
        };
        EXPECT_EQ(capture.m_Lines, expected);
        EXPECT_TRUE(capture.m_strRaw.empty());
    }
    {
        // "7" lets only dumps through; an empty filter lets nothing through.
        CTraceCapture capture(true, "7");
        CVLTrace::Output("M", "F", 1, 1, "message");
        const unsigned char data[1] = {0x0F};
        CVLTrace::OutputDump("M", "F", 2, data, 1);
        EXPECT_EQ(capture.m_Lines, std::vector<std::string>{"M F line[2] "});
        EXPECT_FALSE(capture.m_strRaw.empty());
    }
    {
        CTraceCapture capture(true, "");
        CVLTrace::Output("M", "F", 1, 1, "message");
        CVLTrace::OutputFunction("M", "F", 1, "void f()", "x");
        EXPECT_TRUE(capture.m_Lines.empty());
    }
}

TEST(Trace, DumpOfOneByte)
{
    CTraceCapture capture;
    const unsigned char data[1] = {0x0A};
    CVLTrace::OutputDump("VLMDVLPC", "VLMDSocket", 12, data, 1);
    EXPECT_EQ(capture.m_Lines, std::vector<std::string>{"VLMDVLPC VLMDSocket line[12] "});
    EXPECT_EQ(capture.m_strRaw, "Address | 00 01 02 03 04 05 06 07-08 09 0A 0B 0C 0D 0E 0F   (1bytes)\n"
                                "--------+" + std::string(67, '-') + "\n" + std::string(10, ' ') + "0A \n\n");
}

TEST(Trace, InitializeFromFile)
{
    CTempPath szPath("vltrace-XXXXXX");
    int fd = mkstemp(szPath);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream(szPath) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                                 "\t<key>TRACE_FLAG</key>\n\t<true />\n"
                                 "\t<key>FUNC_TYPE_FILTER</key>\n\t<string>6</string>\n</dict>\n</plist>\n";
    }
    {
        CTraceCapture capture(false);
        EXPECT_TRUE(CVLTrace::Initialize("VLStd", "T", 1, szPath));
        EXPECT_TRUE(CVLTrace::IsEnabled());
        CVLTrace::OutputScope("M", "F", 1, "held back");
        CVLTrace::Output("M", "F", 2, 1, "written");
        const unsigned char data[1] = {1};
        CVLTrace::OutputDump("M", "F", 3, data, 1);
        EXPECT_EQ(capture.m_Lines, std::vector<std::string>{"M F line[2] written"});
        EXPECT_TRUE(capture.m_strRaw.empty());
        // Without a path: off, and the filter stays as it was.
        EXPECT_TRUE(CVLTrace::Initialize("VLStd", "T", 1, nullptr));
        EXPECT_FALSE(CVLTrace::IsEnabled());
    }
    {
        // Broken files give no entries and never crash.
        const char* texts[] = {"", "<plist><dict><key>TRACE_FLAG", "<key>TRACE_FLAG</key><true",
                               "<key>FUNC_TYPE_FILTER</key><string>26", "<key>TRACE_FLAG</key><string>&#x;&#"};
        for (const char* szText : texts) {
            std::ofstream(szPath, std::ios::trunc) << szText;
            CTraceCapture capture(false);
            EXPECT_TRUE(CVLTrace::Initialize("VLStd", "T", 1, szPath));
            EXPECT_FALSE(CVLTrace::IsEnabled()) << szText;
        }
    }
    remove(szPath);
}
