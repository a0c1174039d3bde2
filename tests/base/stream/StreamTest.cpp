#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"
#include "tests/support/TempFolder.h"
#include "base/core/VLByteArray.h"
#include "base/stream/VLFileStream.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/stream/VLMemoryStream.h"
#include "base/core/VLOpenException.h"
#include "base/stream/VLStringStream.h"

namespace {

// Runs f and reports the class name, system error code and file path of the
// framework exception it throws ("" when it throws nothing).
struct Thrown
{
    std::string strClass;
    long nCode = -1;
    std::string strPath;
    int nLine = 0;
};

template <typename F>
Thrown Catch(F f)
{
    Thrown t;
    try {
        f();
    } catch (EVLException* e) {
        t.strClass = Bytes(e->GetClassName());
        t.nLine = e->GetLine();
        if (auto* io = dynamic_cast<EVLIOException*>(e)) {
            t.nCode = io->GetSystemErrorCode();
            t.strPath = Bytes(io->GetFilePath());
        } else if (auto* op = dynamic_cast<EVLOpenException*>(e)) {
            t.nCode = op->GetSystemErrorCode();
            t.strPath = Bytes(op->GetFilePath());
        }
        e->Delete();
    }
    return t;
}

class FileStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath tmpl("vlfstream_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strDir = tmpl;
        m_strFile = m_strDir + "/ten";
        FILE* fp = fopen(m_strFile.c_str(), "wb");
        fwrite("0123456789", 1, 10, fp);
        fclose(fp);
    }
    void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }
    std::string m_strDir, m_strFile;
};

}  // namespace

TEST_F(FileStreamTest, ReadSizeSeekAndEnd)
{
    CVLFileStream s;
    s.SetFileName(m_strFile.c_str());
    EXPECT_EQ(&s.GetName(), &s.GetFileName());
    EXPECT_EQ("File", std::string(s.GetTypeName()));
    EXPECT_EQ("CVLFileStream", Bytes(s.GetClassName()));
    s.Open(VL_OPEN_READ);
    VL_BYTE buf[16];
    EXPECT_EQ(3u, s.Read(buf, 3));
    EXPECT_EQ(10u, s.GetSize());
    EXPECT_EQ(7u, s.Read(buf, 16));
    EXPECT_EQ('3', buf[0]);
    EXPECT_EQ(0u, s.Read(buf, 16));
    s.Seek(0);
    EXPECT_EQ(10u, s.Read(buf, 16));
    s.Close();
    s.Close();
    EXPECT_FALSE(s.IsOpen());
}

TEST_F(FileStreamTest, ModesAndErrorTable)
{
    CVLFileStream s;
    s.SetName(m_strFile.c_str());
    s.Open(VL_OPEN_APPEND);
    s.Write(reinterpret_cast<const VL_BYTE*>("ab"), 2);
    s.Flush();
    EXPECT_EQ(12u, s.GetSize());
    s.Open(VL_OPEN_READ_PLUS);
    s.Write(reinterpret_cast<const VL_BYTE*>("X"), 1);
    s.Open(VL_OPEN_READ);
    VL_BYTE buf[16];
    EXPECT_EQ(12u, s.Read(buf, 16));
    EXPECT_EQ("X123456789ab", std::string(reinterpret_cast<char*>(buf), 12));

    Thrown t = Catch([&] { s.Open(static_cast<VL_OPEN_MODE>(5)); });
    EXPECT_EQ("EVLInvalidParamException", t.strClass);
    EXPECT_FALSE(s.IsOpen());

    for (auto f : {+[](CVLFileStream& x) { VL_BYTE b[1]; x.Read(b, 1); },
                   +[](CVLFileStream& x) { x.Write(reinterpret_cast<const VL_BYTE*>("a"), 1); },
                   +[](CVLFileStream& x) { x.Flush(); }, +[](CVLFileStream& x) { x.Seek(0); },
                   +[](CVLFileStream& x) { x.GetSize(); }}) {
        t = Catch([&] { f(s); });
        EXPECT_EQ("EVLOpenException", t.strClass);
        EXPECT_EQ(0, t.nCode);
    }

    s.SetName((m_strDir + "/missing").c_str());
    t = Catch([&] { s.Open(VL_OPEN_READ); });
    EXPECT_EQ("EVLOpenException", t.strClass);
    EXPECT_EQ(ENOENT, t.nCode);
    EXPECT_EQ(m_strDir + "/missing", t.strPath);
    EXPECT_FALSE(s.IsOpen());
    t = Catch([&] { s.Clear(); });
    EXPECT_EQ("EVLIOException", t.strClass);
    EXPECT_EQ(ENOENT, t.nCode);

    s.Open(VL_OPEN_WRITE_PLUS);
    s.Write(reinterpret_cast<const VL_BYTE*>("hello"), 5);
    s.Seek(1);
    EXPECT_EQ(4u, s.Read(buf, 16));
    s.Clear();
    EXPECT_FALSE(s.IsOpen());
    EXPECT_NE(0, access((m_strDir + "/missing").c_str(), F_OK));

    IVLStream* p = new CVLFileStream();
    p->Destroy();
}

// Only a regular file is opened for reading: a FIFO (even one with no
// writer, which would block the open), a device and a folder fail at once
// with EINVAL, in both reading modes (a folder opened for writing too is
// refused by the system first: EISDIR).
TEST_F(FileStreamTest, ReadingOpensOnlyRegularFiles)
{
    CWatchdog watchdog(60, "opening a FIFO");
    std::string strFifo = m_strDir + "/fifo";
    ASSERT_EQ(0, mkfifo(strFifo.c_str(), 0600));
    CVLFileStream s;
    for (const std::string& strPath : {strFifo, std::string("/dev/null"), m_strDir}) {
        for (VL_OPEN_MODE eMode : {VL_OPEN_READ, VL_OPEN_READ_PLUS}) {
            s.SetFileName(strPath.c_str());
            Thrown t = Catch([&] { s.Open(eMode); });
            EXPECT_EQ("EVLOpenException", t.strClass) << strPath << " " << eMode;
            EXPECT_EQ(strPath == m_strDir && eMode == VL_OPEN_READ_PLUS ? EISDIR : EINVAL, t.nCode)
                << strPath << " " << eMode;
            EXPECT_FALSE(s.IsOpen());
        }
    }
    s.SetFileName(m_strFile.c_str());
    s.Open(VL_OPEN_READ);
    EXPECT_EQ(10u, s.GetSize());
}

TEST_F(FileStreamTest, ByteArrayLoadsWholeStream)
{
    CVLFileStream s;
    s.SetName(m_strFile.c_str());
    CVLByteArray a;
    a.LoadFromStream(&s);
    EXPECT_FALSE(s.IsOpen());
    EXPECT_TRUE(a.Equals("0123456789", 10));
    s.Open(VL_OPEN_READ);
    a.LoadFromStream(&s);
    EXPECT_TRUE(s.IsOpen());
}

TEST(MemoryStream, NoDataModesAndBlocks)
{
    CVLMemoryStream m;
    m.Open(VL_OPEN_READ);
    VL_BYTE buf[1000];
    Thrown t = Catch([&] { m.Read(buf, 10); });
    EXPECT_EQ("EVLIOException", t.strClass);
    EXPECT_EQ(125, t.nLine);
    EXPECT_EQ("Memory", t.strPath);
    m.Seek(0);
    t = Catch([&] { m.Write(buf, 1); });
    EXPECT_EQ(192, t.nLine);
    t = Catch([&] { m.Open(static_cast<VL_OPEN_MODE>(-1)); });
    EXPECT_EQ("EVLOpenException", t.strClass);
    EXPECT_EQ(90, t.nLine);

    std::string big(300, 'x');
    m.Open(VL_OPEN_WRITE);
    m.Write(reinterpret_cast<const VL_BYTE*>(big.data()), 300);
    EXPECT_EQ(300, m.GetCapacity());
    t = Catch([&] { m.Read(buf, 1); });
    EXPECT_EQ(131, t.nLine);
    m.Open(VL_OPEN_READ);
    EXPECT_EQ(300u, m.Read(buf, 1000));
    EXPECT_EQ(0u, m.Read(buf, 1000));

    m.Open(VL_OPEN_APPEND);
    EXPECT_EQ(300u, m.GetSize());
    m.Open(VL_OPEN_WRITE);
    EXPECT_EQ(0u, m.GetSize());
    m.Close();
    t = Catch([&] { m.Write(buf, 1); });
    EXPECT_EQ(185, t.nLine);
}

TEST(MemoryStream, SeekAcrossBlocks)
{
    CVLMemoryStream m;
    m.Open(VL_OPEN_WRITE_PLUS);
    VL_BYTE data[260];
    for (int i = 0; i < 260; ++i)
        data[i] = static_cast<VL_BYTE>(i);
    m.Write(data, 10);
    m.Write(data + 10, 250);
    EXPECT_EQ(512, m.GetCapacity());
    EXPECT_EQ(260u, m.GetSize());
    m.Seek(256);
    VL_BYTE buf[16];
    ASSERT_EQ(4u, m.Read(buf, 16));
    EXPECT_EQ(0, memcmp(buf, data + 256, 4));
    for (VL_SIZE_T pos : {0u, 1u, 255u, 257u}) {
        m.Seek(pos);
        ASSERT_EQ(1u, m.Read(buf, 1));
        EXPECT_EQ(data[pos], buf[0]);
    }
    m.Seek(260);
    EXPECT_EQ(0u, m.Read(buf, 16));
    Thrown t = Catch([&] { m.Seek(261); });
    EXPECT_EQ(272, t.nLine);
    // Reading to the end, then writing more, makes the new bytes readable.
    m.Write(data, 3);
    EXPECT_EQ(3u, m.Read(buf, 16));
    m.Allocate(1000);
    EXPECT_EQ(1000, m.GetCapacity());
    EXPECT_EQ(0u, m.GetSize());
    m.Clear();
    EXPECT_FALSE(m.IsOpen());
}

TEST(StringStream, ReadWriteAndZeroBytes)
{
    CVLStringStream s;
    EXPECT_EQ("CVLStringStream", std::string(s.GetTypeName()));
    s.Open(VL_OPEN_READ);
    s.Write(reinterpret_cast<const VL_BYTE*>("ab"), 2);
    s.Write(reinterpret_cast<const VL_BYTE*>("cd"), 2);
    EXPECT_EQ("abcd", Bytes(s.GetString()));
    VL_BYTE buf[8];
    EXPECT_EQ(3u, s.Read(buf, 3));
    EXPECT_EQ(1u, s.Read(buf, 3));
    EXPECT_EQ('d', buf[0]);
    EXPECT_EQ(0u, s.Read(buf, 3));
    s.Write(reinterpret_cast<const VL_BYTE*>("x\0y"), 3);
    EXPECT_EQ("abcdx", Bytes(s.GetString()));
    s.Seek(100);
    EXPECT_EQ(0u, s.Read(buf, 3));
    s.SetString("z");
    EXPECT_EQ(0u, s.Read(buf, 3));
    s.Open(VL_OPEN_WRITE);
    EXPECT_EQ(0u, s.GetSize());
    // Many small writes (collected apart from the string until it is looked
    // at) read back whole and in order, whichever way the text is reached.
    std::string expect;
    for (int i = 0; i < 20000; ++i) {
        std::string piece = std::to_string(i) + ",";
        s.Write(reinterpret_cast<const VL_BYTE*>(piece.data()), static_cast<VL_SIZE_T>(piece.size()));
        expect += piece;
        if (i == 5000) {
            EXPECT_EQ(expect.size(), s.GetSize());
            EXPECT_EQ(expect, Bytes(s.GetString()));
        }
    }
    EXPECT_EQ(expect.size(), s.GetSize());
    std::string got(expect.size(), '\0');
    s.Seek(0);
    EXPECT_EQ(expect.size(), s.Read(reinterpret_cast<VL_BYTE*>(&got[0]), static_cast<VL_SIZE_T>(got.size())));
    EXPECT_EQ(expect, got);
    s.Write(reinterpret_cast<const VL_BYTE*>("tail"), 4);
    s.SetString("new");
    EXPECT_EQ("new", Bytes(s.GetString()));
    s.Write(reinterpret_cast<const VL_BYTE*>("er"), 2);
    s.Clear();
    EXPECT_EQ(0u, s.GetSize());
    EXPECT_EQ("", Bytes(s.GetString()));
}

#include "base/stream/VLStreamCollection.h"

TEST(StreamCollection, CreatesByTypeTable)
{
    CVLStreamCollection c;
    c.SetFileFolder("/tmp/folder");
    c.SetStreamType("disk", "File");
    c.SetStreamType("odd", "Tape");
    IVLStream* pMem = c.AddStream("m", "ram");
    EXPECT_EQ("Memory", std::string(pMem->GetTypeName()));
    EXPECT_EQ("ram", Bytes(pMem->GetPath()));
    IVLStream* pFile = c.AddStream("f", "disk");
    EXPECT_EQ("File", std::string(pFile->GetTypeName()));
    EXPECT_EQ("/tmp/folder/f", Bytes(pFile->GetName()));
    Thrown t = Catch([&] { c.AddStream("t", "odd"); });
    EXPECT_EQ("EVLMemoryAllocException", t.strClass);
    t = Catch([&] { c.AddStream("m", "ram"); });
    EXPECT_EQ("EVLInvalidParamException", t.strClass);
    EXPECT_EQ("File", Bytes(c.GetStreamType("disk")));
    EXPECT_EQ("", Bytes(c.GetStreamType("none")));

    CVLStreamCollection copy;
    copy = c;
    ASSERT_EQ(2, copy.GetCount());
    EXPECT_EQ("m", Bytes(copy.GetAt(0)->GetName()));
    EXPECT_EQ("ram", Bytes(copy.GetAt(0)->GetPath()));
    EXPECT_NE(copy.GetAt(0), c.GetAt(0));
    c.Remove("m");
    EXPECT_EQ(1, c.GetCount());
}
