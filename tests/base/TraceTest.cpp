#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "TestSupport.h"
#include "VLTrace.h"
#include "VLTracePropertyList.h"

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

    char szPath[] = "/tmp/vltrace-XXXXXX";
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
