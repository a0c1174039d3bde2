#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "base/stream/VLEasyEncryptionFileStream.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLOpenException.h"
#include "tests/support/TempFolder.h"

namespace {

class ScrambleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath tmpl("vlee_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strDir = tmpl;
        m_strFile = m_strDir + "/data.vlee";
    }
    void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }

    std::string ReadFile() const
    {
        std::string s;
        FILE* fp = fopen(m_strFile.c_str(), "rb");
        if (fp == nullptr)
            return s;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), fp)) > 0)
            s.append(buf, n);
        fclose(fp);
        return s;
    }
    void WriteFile(const std::string& s) const
    {
        FILE* fp = fopen(m_strFile.c_str(), "wb");
        fwrite(s.data(), 1, s.size(), fp);
        fclose(fp);
    }
    // Writes the data in pieces of the given lengths (the last piece takes the rest).
    void Scramble(const std::string& data, const std::vector<size_t>& pieces, int nKey = -1)
    {
        CVLEasyEncryptionFileStream s;
        s.SetFileName(m_strFile.c_str());
        s.SetKeyIndex(nKey);
        s.Open(VL_OPEN_WRITE);
        size_t pos = 0;
        for (size_t n : pieces) {
            if (pos + n > data.size())
                n = data.size() - pos;
            if (n > 0)
                s.Write(reinterpret_cast<const VL_BYTE*>(data.data() + pos), static_cast<VL_SIZE_T>(n));
            pos += n;
        }
        if (pos < data.size())
            s.Write(reinterpret_cast<const VL_BYTE*>(data.data() + pos), static_cast<VL_SIZE_T>(data.size() - pos));
        EXPECT_EQ(data.size(), s.GetSize());
        s.Close();
    }
    std::string Unscramble(VL_SIZE_T nBlock = 4096)
    {
        CVLEasyEncryptionFileStream s;
        s.SetFileName(m_strFile.c_str());
        s.Open(VL_OPEN_READ);
        std::string out;
        std::vector<VL_BYTE> buf(nBlock);
        VL_SIZE_T n;
        while ((n = s.Read(buf.data(), nBlock)) > 0)
            out.append(reinterpret_cast<char*>(buf.data()), n);
        return out;
    }
    // The class name of the exception that opening the file throws, "" if none.
    std::string OpenFailure()
    {
        CVLEasyEncryptionFileStream s;
        s.SetFileName(m_strFile.c_str());
        try {
            s.Open(VL_OPEN_READ);
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
            return Bytes(e->GetClassName());
        }
        return "";
    }

    std::string m_strDir, m_strFile;
};

// The class name of the framework exception that f throws, "" if none.
template <typename F>
std::string ThrownClass(F f)
{
    try {
        f();
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return Bytes(e->GetClassName());
    }
    return "";
}

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return s;
}

}  // namespace

TEST_F(ScrambleTest, RoundTripLengthsAndKeys)
{
    for (size_t n : {0u, 1u, 2u, 5u, 1023u, 1024u, 1025u, 2048u, 2051u}) {
        for (int k = 0; k < 8; ++k) {
            std::string data = Pattern(n);
            Scramble(data, {}, k);
            std::string file = ReadFile();
            ASSERT_EQ(n + 12 + (n & 1), file.size());
            EXPECT_EQ(static_cast<unsigned char>(~k), static_cast<unsigned char>(file[7]));
            EXPECT_EQ(n & 1, static_cast<unsigned char>(file[file.size() - 2]) & 1u);
            EXPECT_EQ(data, Unscramble()) << n << " " << k;
            EXPECT_EQ(data, Unscramble(1)) << n << " " << k;
            EXPECT_EQ(data, Unscramble(3)) << n << " " << k;
        }
    }
}

TEST_F(ScrambleTest, OddWritesReadBackAndEvenWritesKeepBytes)
{
    std::string data = Pattern(3001);
    Scramble(data, {1, 3, 2, 5, 1024, 7, 1});
    EXPECT_EQ(data, Unscramble());
    Scramble(data, std::vector<size_t>(3001, 1));
    EXPECT_EQ(data, Unscramble(7));

    std::string even = Pattern(4000);
    Scramble(even, {}, 5);
    std::string whole = ReadFile();
    Scramble(even, {2, 1024, 1030, 6}, 5);
    std::string pieces = ReadFile();
    ASSERT_EQ(whole.size(), pieces.size());
    // Header fillers and trailer are random; the scrambled body is not.
    EXPECT_EQ(whole.substr(10, 4000), pieces.substr(10, 4000));
}

TEST_F(ScrambleTest, FileLayoutAndPositions)
{
    Scramble("ABCDE", {}, 3);
    std::string file = ReadFile();
    ASSERT_EQ(18u, file.size());
    EXPECT_EQ("VLEE1", file.substr(0, 5));
    EXPECT_EQ(0xFC, static_cast<unsigned char>(file[7]));
    EXPECT_EQ(static_cast<char>(file[6] ^ file[8]), file[9]);
    unsigned char t0 = static_cast<unsigned char>(file[16]);
    EXPECT_TRUE(t0 & 1);
    EXPECT_GE(t0, 11);
    EXPECT_LE(t0, 109);

    CVLEasyEncryptionFileStream s;
    s.SetFileName(m_strFile.c_str());
    s.Open(VL_OPEN_READ);
    EXPECT_EQ(3, s.GetCurrentKeyIndex());
    EXPECT_EQ(5u, s.GetSize());
    VL_BYTE buf[8];
    s.Seek(1);
    ASSERT_EQ(3u, s.Read(buf, 3));
    EXPECT_EQ("BCD", std::string(reinterpret_cast<char*>(buf), 3));
    ASSERT_EQ(1u, s.Read(buf, 8));
    EXPECT_EQ('E', buf[0]);
    s.Seek(2);
    ASSERT_EQ(1u, s.Read(buf, 1));
    EXPECT_EQ('C', buf[0]);
    ASSERT_EQ(1u, s.Read(buf, 1));
    EXPECT_EQ('D', buf[0]);
    s.Seek(5);
    EXPECT_EQ(0u, s.Read(buf, 8));
    EXPECT_EQ("EVLIOException", ThrownClass([&] { s.Seek(6); }));
    try {
        s.Read(buf, 0);
        ADD_FAILURE();
    } catch (EVLInvalidParamException* e) {
        e->Delete();
    }
    try {
        s.Open(VL_OPEN_APPEND);
        ADD_FAILURE();
    } catch (EVLOpenException* e) {
        EXPECT_EQ("VLEEFile", Bytes(e->GetFilePath()));
        e->Delete();
    }
    s.Close();
    EXPECT_EQ(0u, s.GetSize());
    EXPECT_EQ(0u, s.Read(buf, 1));

    Scramble("ABCD", {});
    EXPECT_EQ(16u, ReadFile().size());
    EXPECT_FALSE(static_cast<unsigned char>(ReadFile()[14]) & 1);
}

TEST_F(ScrambleTest, MalformedFiles)
{
    Scramble("", {}, 7);
    std::string good = ReadFile();
    ASSERT_EQ(12u, good.size());
    std::string f = good;
    f[10] = 12;
    WriteFile(f);
    EXPECT_EQ("", OpenFailure());
    f[10] = 13;  // odd length of empty data
    WriteFile(f);
    EXPECT_EQ("EVLIOException", OpenFailure());
    WriteFile(good.substr(0, 11));
    EXPECT_EQ("EVLIOException", OpenFailure());
    f = good;
    f[7] = static_cast<char>(0xF7);  // index 8
    WriteFile(f);
    EXPECT_EQ("EVLIOException", OpenFailure());
    f[7] = 0x00;  // index 255
    WriteFile(f);
    EXPECT_EQ("EVLIOException", OpenFailure());
    f[7] = static_cast<char>(0xF8);
    WriteFile(f);
    EXPECT_EQ("", OpenFailure());
    f = good;
    f[4] = '2';
    WriteFile(f);
    EXPECT_EQ("EVLIOException", OpenFailure());
    f = good;
    f[0] = 'X';
    WriteFile(f);
    EXPECT_EQ("EVLIOException", OpenFailure());
    f = good;
    f.insert(10, 1, 'z');  // a body of half a pair
    WriteFile(f);
    EXPECT_EQ("EVLIOException", OpenFailure());

    // A missing file: the plain stream's own open failure.
    std::remove(m_strFile.c_str());
    EXPECT_EQ("EVLOpenException", OpenFailure());
    CVLEasyEncryptionFileStream s;
    s.SetFileName(m_strFile.c_str());
    s.Clear();
    s.SetKeyIndex(8);
    EXPECT_EQ("EVLInvalidParamException", ThrownClass([&] { s.Open(VL_OPEN_WRITE); }));
}

TEST(ScramblePairs, EveryRotationRoundTrips)
{
    std::vector<VL_BYTE> in(1024), enc(1024), dec(1024);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<VL_BYTE>(i * 7 + 3);
    for (int k5 = 0; k5 < 16; ++k5) {
        VL_BYTE key[6] = {0, 0, 0, 0, 0x5A, static_cast<VL_BYTE>(0xA0 | k5)};
        VL_SIZE_T n = 1024;
        ASSERT_TRUE(VLScrambleBytePairs(true, enc.data(), &n, in.data(), 1024, key));
        n = 1024;
        ASSERT_TRUE(VLScrambleBytePairs(false, dec.data(), &n, enc.data(), 1024, key));
        EXPECT_EQ(in, dec);
    }
    VL_BYTE key[6] = {};
    VL_SIZE_T n = 0;
    EXPECT_FALSE(VLScrambleBytePairs(true, nullptr, &n, in.data(), 5, key));
    EXPECT_EQ(6u, n);
    n = 4;
    EXPECT_FALSE(VLScrambleBytePairs(true, enc.data(), &n, in.data(), 5, key));
    EXPECT_FALSE(VLScrambleBytePairs(false, dec.data(), &n, in.data(), 3, key));
    EXPECT_FALSE(VLScrambleBytePairs(true, enc.data(), nullptr, in.data(), 2, key));
    EXPECT_FALSE(VLScrambleBytePairs(true, enc.data(), &n, in.data(), 0, key));
}

TEST_F(ScrambleTest, ToolRoundTripsAndRefusesMalformed)
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        GTEST_SKIP() << "VL_TEST_BIN_DIR not set";
    std::string tool = std::string(szBin) + "/vlstdtool";
    std::string in = m_strDir + "/in", out = m_strDir + "/out", back = m_strDir + "/back";
    std::string data = Pattern(3001);
    {
        FILE* fp = fopen(in.c_str(), "wb");
        fwrite(data.data(), 1, data.size(), fp);
        fclose(fp);
    }
    ASSERT_EQ(0, std::system((tool + " scramble " + in + " " + out).c_str()));
    ASSERT_EQ(0, std::system((tool + " unscramble " + out + " > " + back).c_str()));
    m_strFile = back;
    EXPECT_EQ(data, ReadFile());
    // A plain file is copied as it is.
    ASSERT_EQ(0, std::system((tool + " unscramble " + in + " > " + back).c_str()));
    EXPECT_EQ(data, ReadFile());
    m_strFile = out;
    std::string f = ReadFile();
    WriteFile(f.substr(0, 11));
    int rc = std::system((tool + " unscramble " + out + " > /dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(1, WEXITSTATUS(rc));
    WriteFile(f.substr(0, f.size() - 3));  // the body cut short
    rc = std::system((tool + " unscramble " + out + " > /dev/null 2>&1").c_str());
    EXPECT_EQ(1, WEXITSTATUS(rc));
    // Cut at an even length, where the last two bytes are no trailer a
    // writer makes: refused, naming the cut, and nothing written.
    size_t nCut = f.size() - 2;
    while (nCut > 12 && static_cast<unsigned char>(f[nCut - 2]) >= 11 && static_cast<unsigned char>(f[nCut - 2]) <= 110)
        nCut -= 2;
    ASSERT_GT(nCut, 12u);
    WriteFile(f.substr(0, nCut));
    std::string err = m_strDir + "/err";
    rc = std::system((tool + " unscramble " + out + " > " + back + " 2> " + err).c_str());
    EXPECT_EQ(1, WEXITSTATUS(rc));
    m_strFile = back;
    EXPECT_EQ("", ReadFile());
    m_strFile = err;
    EXPECT_NE(std::string::npos, ReadFile().find(": malformed scrambled file: the file is cut or damaged"))
        << ReadFile();
}

#include <thread>

TEST(ScramblePairs, KeyTableBuiltOnceAcrossThreads)
{
    std::vector<std::thread> threads;
    std::vector<int> ok(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&ok, t] {
            CVLEasyEncryptionFileStream s;
            const VL_BYTE* p = CVLEasyEncryptionFileStream::GetKeyEntry(t);
            ok[t] = p != nullptr && p[0] == 0x56;
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(std::vector<int>(4, 1), ok);
}
