#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/TestSupport.h"
#include "base/log/VLDebugLoggerEx.h"
#include "base/core/VLFileSystem.h"
#include "base/log/VLTraceFile.h"
#include "tests/support/TempFolder.h"

namespace {

class DebugLoggerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath tmpl("vllog_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strDir = tmpl;
        m_strFile = m_strDir + "/debug.log";
    }
    void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }
    std::string Read(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string m_strDir;
    std::string m_strFile;
};

// Matches a text against a pattern in which '#' stands for a digit, '?' for
// any byte and every other byte for itself.
bool Matches(const std::string& strText, const std::string& strPattern)
{
    if (strText.size() != strPattern.size())
        return false;
    for (size_t i = 0; i < strText.size(); ++i) {
        char p = strPattern[i];
        char c = strText[i];
        if (p == '#' ? (c < '0' || c > '9') : (p != '?' && p != c))
            return false;
    }
    return true;
}

}  // namespace

TEST_F(DebugLoggerTest, BaseLoggerDoesNothing)
{
    CVLDebugLogger logger;
    EXPECT_TRUE(logger.IsEnabled());
    EXPECT_FALSE(logger.Open(m_strFile.c_str(), true, false, true));
    logger.Write("text");
    logger.Write(CVLString("s", VL_CHARSET_UTF8));
    logger.Write("data", 4);
    logger.Write("f.cpp", 3, "text");
    logger.WriteLog("f.cpp", 3, "data", 4);
    logger.Printf("%d", 5);
    logger.Printf("f.cpp", 3, "%d", 5);
    logger.Close();
    EXPECT_FALSE(VLFileExists(m_strFile.c_str(), 2));
    logger.SetEnabled(false);
    EXPECT_FALSE(logger.IsEnabled());
    EXPECT_EQ("", Bytes(CVLDebugLogger::GetLogDirectory()));
}

TEST_F(DebugLoggerTest, PlainEntriesExactBytes)
{
    CVLDebugLoggerEx logger;
    ASSERT_TRUE(logger.Open(m_strFile.c_str(), false, false, false));
    logger.Write("abc");
    logger.Write(CVLString("de", VL_CHARSET_UTF8));
    logger.Write("x\0yz", 3);
    logger.Write("Source.cpp", 42, "msg");
    logger.Write(nullptr, 7, CVLString("s", VL_CHARSET_UTF8));
    logger.Write("F", 0, "");
    // (A format followed by an integer and a text would select the overload
    // with the source file and line.)
    logger.Printf("s=%s n=%d", "q", -3);
    logger.Printf("P.cpp", 9, "%05d", 12);
    logger.Write(static_cast<const char*>(nullptr));
    logger.SetEnabled(false);
    logger.Write("dropped");
    logger.Close();
    EXPECT_EQ(std::string("Open Logfile...\rabc\rde\rx\0y\rmsg\r$> File: Source.cpp, Line: 42\r"
                          "s\r$> File: , Line: 7\r\r$> File: F, Line: 0\rs=q n=-3\r00012\r$> File: P.cpp, Line: 9\r"
                          "\rClose Logfile...\r\r",
                          161),
              Read(m_strFile));
    // After Close nothing more is written; Close again changes nothing.
    logger.Write("late");
    logger.Close();
    EXPECT_EQ(161u, Read(m_strFile).size());

    // Reopening without append truncates; with append keeps.
    ASSERT_TRUE(logger.Open(m_strFile.c_str(), false, false, false));
    logger.Close();
    EXPECT_EQ("Open Logfile...\rClose Logfile...\r\r", Read(m_strFile));
    ASSERT_TRUE(logger.Open(m_strFile.c_str(), false, true, false));
    logger.Close();
    EXPECT_EQ("Open Logfile...\rClose Logfile...\r\rOpen Logfile...\rClose Logfile...\r\r", Read(m_strFile));
}

TEST_F(DebugLoggerTest, PrefixesAndSourceLineIndent)
{
    CVLDebugLoggerEx logger;
    ASSERT_TRUE(logger.Open(m_strFile.c_str(), true, false, true));
    logger.Write("Main.cpp", 120, "hello");
    logger.Close();
    const std::string strDate = "####/##/## ##:##:##.### ";
    const std::string strElapsed = "[###.######] ";
    std::string strStamp = strDate + strElapsed;
    std::string strLog = Read(m_strFile);
    EXPECT_TRUE(Matches(strLog, strStamp + "Open Logfile...\r" + strStamp + "hello\r" + std::string(36, ' ') +
                                    "$> File: Main.cpp, Line: 120\r" + strStamp + "Close Logfile...\r\r"))
        << strLog;

    ASSERT_TRUE(logger.Open(m_strFile.c_str(), true, false, false));
    logger.Write("M", 1, "x");
    logger.Close();
    strLog = Read(m_strFile);
    EXPECT_TRUE(Matches(strLog, strDate + "Open Logfile...\r" + strDate + "x\r" + std::string(24, ' ') +
                                    "$> File: M, Line: 1\r" + strDate + "Close Logfile...\r\r"))
        << strLog;

    ASSERT_TRUE(logger.Open(m_strFile.c_str(), false, false, true));
    logger.Write("M", 1, "x");
    logger.Close();
    strLog = Read(m_strFile);
    EXPECT_TRUE(Matches(strLog, strElapsed + "Open Logfile...\r" + strElapsed + "x\r" + std::string(12, ' ') +
                                    "$> File: M, Line: 1\r" + strElapsed + "Close Logfile...\r\r"))
        << strLog;
}

TEST_F(DebugLoggerTest, PrintfLimitAndOpenFailures)
{
    CVLDebugLoggerEx logger;
    ASSERT_TRUE(logger.Open(m_strFile.c_str(), false, false, false));
    std::string strFits(2047, 'a');
    std::string strTooLong(2048, 'b');
    logger.Printf("%s", strFits.c_str());
    logger.Printf("%s", strTooLong.c_str());
    logger.Printf(nullptr, 0, nullptr);
    logger.Close();
    EXPECT_EQ("Open Logfile...\r" + strFits + "\r\r\rClose Logfile...\r\r", Read(m_strFile));

    EXPECT_THROW(logger.Open(nullptr, false, false, false), int);
    // A file that cannot be opened: false, and writes are dropped.
    EXPECT_FALSE(logger.Open((m_strDir + "/missing/x.log").c_str(), false, false, false));
    logger.Write("x");
    logger.Close();
}

TEST_F(DebugLoggerTest, LogDirectoryAndFileName)
{
    std::string strBase = Bytes(VLGetExecutablePath()) + "/DebugLog";
    EXPECT_EQ(strBase, Bytes(CVLDebugLoggerEx::GetLogDirectory(nullptr, false)));
    std::string strSub = "t" + std::to_string(getpid());
    std::string strPath = strBase + "/" + strSub;
    EXPECT_EQ(strPath, Bytes(CVLDebugLoggerEx::GetLogDirectory(strSub.c_str(), true)));
    EXPECT_TRUE(VLFileExists(strPath.c_str(), 1));
    rmdir(strPath.c_str());
    // A file in the way of the sub-folder.
    FILE* fp = fopen(strPath.c_str(), "w");
    ASSERT_NE(nullptr, fp);
    fclose(fp);
    EXPECT_THROW(CVLDebugLoggerEx::GetLogDirectory(strSub.c_str(), true), int);
    unlink(strPath.c_str());

    EXPECT_TRUE(Matches(Bytes(CVLDebugLogger::MakeLogFileName(false)), "##############_"));
    EXPECT_TRUE(Matches(Bytes(CVLDebugLogger::MakeLogFileName(true)), "##############_###_"));
    long double d1 = CVLDebugLogger::GetTime();
    long double d2 = CVLDebugLogger::GetTime();
    EXPECT_GT(d1, 1.0e9L);
    EXPECT_LE(d1, d2);
}

TEST_F(DebugLoggerTest, TraceFileAppendsWholeTextsFromThreads)
{
    std::string strTrace = m_strDir + "/trace.txt";
    VLSetTraceFile("");
    VLTracePrintf("nothing %d", 1);
    VLSetTraceFile(strTrace.c_str());
    VLTracePrintf("a%d-", 1);
    VLTracePrintf("%s", "b\n");
    EXPECT_EQ("a1-b\n", Read(strTrace));

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                VLTracePrintf("thread %d line %d %s\n", t, i, std::string(100, 'x').c_str());
        });
    }
    for (auto& th : threads)
        th.join();
    std::istringstream lines(Read(strTrace).substr(5));
    std::string strLine;
    int nCount = 0;
    std::string strTail(100, 'x');
    while (std::getline(lines, strLine)) {
        EXPECT_TRUE(strLine.compare(0, 7, "thread ") == 0 && strLine.size() > 100 &&
                    strLine.compare(strLine.size() - 101, 101, " " + strTail) == 0)
            << strLine;
        ++nCount;
    }
    EXPECT_EQ(200, nCount);

    // An empty path turns it off again.
    VLSetTraceFile(nullptr);
    size_t nSize = Read(strTrace).size();
    VLTracePrintf("more");
    EXPECT_EQ(nSize, Read(strTrace).size());
}
