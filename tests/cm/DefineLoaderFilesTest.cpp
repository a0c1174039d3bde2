// The development form: XML files and script sources named by a list file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/core/VLExceptionOwner.h"
#include "base/stream/VLFileStream.h"
#include "cm/VLDefineLoader.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"
#include "tests/support/XmlTestStream.h"
#include "tests/support/TempFolder.h"

namespace {

class DefineLoaderFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath szTemplate("vldefineXXXXXX");
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        m_strDir = szTemplate;
        m_PathInfo.SetRootPath(m_strDir.c_str());
        m_PathInfo.SetLanguageList("", false);
        m_PathInfo.SetDefaultFolder("");
    }
    void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }

    void Write(const std::string& strName, const std::string& strText)
    {
        std::ofstream out(m_strDir + "/" + strName, std::ios::binary);
        out << strText;
    }
    // The class of the exception LoadFiles throws, or "".
    std::string LoadList(CVLDefineLoader& loader, const char* szList = "vlres201.dat")
    {
        try {
            loader.LoadFiles(m_PathInfo, szList);
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
            return Bytes(e->GetClassName());
        }
        return "";
    }

    std::string m_strDir;
    CVLLocalizeUtility m_PathInfo;
};

}  // namespace

TEST_F(DefineLoaderFiles, ListedFilesLoadByTypeInAnyCase)
{
    Write("vlres201.dat", "<Files>\n"
                          "  <File name=\"map1.xml\" type=\"XML\"/>\n"
                          "  <File name=\"map2.xml\"/>\n"
                          "  <file name=\"skipped.xml\"/>\n"
                          "  <File name=\"notes.txt\" type=\"text\"/>\n"
                          "  <File name=\"probe.vls\" type=\"Script\"/>\n"
                          "</Files>\n");
    Write("map1.xml", "<ModuleMapping version=\"1\"><Module name=\"VLMDSock\"/></ModuleMapping>");
    Write("map2.xml", "<ModuleMapping version=\"2\" extra=\"x\"><Module name=\"VLMDVLPC\"/><Module/></ModuleMapping>");
    Write("skipped.xml", "<Skipped/>");
    Write("probe.vls", "int Probe() { return 1; }\nint Other() { return 2; }\n");

    CVLDefineLoader loader;
    ASSERT_EQ(LoadList(loader), "");
    EXPECT_EQ(loader.GetDocument("Skipped", false), nullptr);
    CVLXmlDocument* pDoc = loader.GetDocument("ModuleMapping", false);
    ASSERT_NE(pDoc, nullptr);
    // Both files form one document, in list order, with the first root's attributes.
    CVLXmlElement* pRoot = pDoc->GetDocumentElement();
    EXPECT_EQ(Bytes(pRoot->GetAttribute("version")), "1");
    EXPECT_EQ(pRoot->GetAttributeNode("extra"), nullptr);
    std::vector<CVLString> modules;
    loader.ReadModuleMapping(modules);
    ASSERT_EQ(modules.size(), 2u);
    EXPECT_EQ(Bytes(modules[0]), "VLMDSock");
    EXPECT_EQ(Bytes(modules[1]), "VLMDVLPC");

    // Each function of a source is one script; its source is the file name.
    CVLScriptCollection& scripts = loader.GetScriptCollection();
    ASSERT_EQ(scripts.GetCount(), 2);
    ASSERT_NE(scripts.Find("Probe"), nullptr);
    EXPECT_EQ(Bytes(scripts.Find("Probe")->GetSourceName()), "probe.vls");
    EXPECT_NE(scripts.Find("Other"), nullptr);
}

TEST_F(DefineLoaderFiles, FailuresNameTheFileAndKeepWhatLoaded)
{
    Write("vlres201.dat", "<Files><File name=\"a.xml\"/><File name=\"bad.xml\"/><File name=\"c.xml\"/></Files>");
    Write("a.xml", "<A/>");
    Write("bad.xml", "<B>");
    Write("c.xml", "<C/>");
    CVLDefineLoader loader;
    EXPECT_EQ(LoadList(loader), "EVLXmlException");
    EXPECT_EQ(Bytes(loader.GetCurrentFile()), m_strDir + "/bad.xml");
    EXPECT_NE(loader.GetDocument("A", false), nullptr);
    EXPECT_EQ(loader.GetDocument("C", false), nullptr);

    CVLDefineLoader other;
    EXPECT_EQ(LoadList(other, "missing.dat"), "EVLOpenException");
    Write("empty.dat", "<Files/>");
    EXPECT_EQ(LoadList(other, "empty.dat"), "");
    EXPECT_TRUE(other.GetDocumentMap().empty());
}

// Files with one root element form one document: a name that a later file
// defines again under that root (a copy of a file, say) is refused, naming
// both files, the element and its lines; names given once merge.
TEST_F(DefineLoaderFiles, ANameDefinedByTwoFilesOfOneRootIsRefused)
{
    Write("vlres201.dat", "<Files><File name=\"a.xml\"/><File name=\"other.xml\"/><File name=\"b.xml\"/></Files>");
    Write("a.xml", "<ModuleMapping>\n  <Const name=\"Port\" value=\"1\"/>\n  <Instance name=\"Probe\"/>\n"
                   "  <Instance name=\"Twice\"/><Instance name=\"Twice\"/>\n</ModuleMapping>");
    Write("other.xml", "<VLPC><Instance name=\"Probe\"/></VLPC>");
    Write("b.xml", "<ModuleMapping>\n  <Const name=\"Probe\"/>\n  <Instance name=\"Run\"/>\n\n"
                   "  <Instance name=\"Probe\"/>\n</ModuleMapping>");
    CVLDefineLoader loader;
    EXPECT_EQ(LoadList(loader), "EVLXmlException");
    EXPECT_EQ(loader.DescribeFailure(nullptr),
              m_strDir + "/b.xml: line 5: <Instance name=\"Probe\"> is defined in " + m_strDir +
                  "/a.xml (line 3) as well: files with the same root element <ModuleMapping> form one document, "
                  "which defines a name once");
    auto elements = [](CVLDefineLoader& l) {
        int n = 0;
        CVLXmlNodeList* pList = l.GetDocument("ModuleMapping", false)->GetDocumentElement()->GetChildNodes();
        for (CVLXmlNodeConstIterator it = pList->ConstBegin(); !it.IsEnd(); it.Next())
            n += it.Get()->GetNodeType() == VLXML_NODE_ELEMENT;
        return n;
    };
    // Nothing of the refused file was added.
    EXPECT_EQ(elements(loader), 4);

    // A constant set again is no fault: the later value holds.
    Write("b.xml", "<ModuleMapping><Const name=\"Probe\"/><Instance name=\"Run\"/><Const name=\"Port\" "
                   "value=\"2\"/></ModuleMapping>");
    CVLDefineLoader merged;
    EXPECT_EQ(LoadList(merged), "");
    EXPECT_EQ(elements(merged), 7);
}

TEST_F(DefineLoaderFiles, ResourceFileRoundTripsTheListedDefinitions)
{
    Write("vlres201.dat", "<Files><File name=\"p.xml\"/><File name=\"s.vls\" type=\"script\"/></Files>");
    Write("p.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PropertyRoot><Item key=\"a&amp;b\">t&lt;x</Item>\n"
                   "<Empty v=\"\"/></PropertyRoot>");
    Write("s.vls", "string Hello(string s) { return \"hi \" + s; }");
    CVLDefineLoader loader;
    ASSERT_EQ(LoadList(loader), "");
    std::string strPath = m_strDir + "/vlres200.dat";
    CVLFileStream out;
    out.SetFileName(strPath.c_str());
    loader.Save(&out);

    CVLDefineLoader reread;
    reread.Load(strPath.c_str());
    EXPECT_EQ(Bytes(reread.GetFilePath()), strPath);
    CVLXmlDocument* pA = loader.GetDocument("PropertyRoot", false);
    CVLXmlDocument* pB = reread.GetDocument("PropertyRoot", false);
    ASSERT_NE(pB, nullptr);
    EXPECT_TRUE(pA->GetDocumentElement()->IsEqualNode(pB->GetDocumentElement()));
    ASSERT_NE(reread.GetScriptCollection().Find("Hello"), nullptr);
    EXPECT_EQ(reread.GetScriptCollection().Find("Hello")->GetSize(),
              loader.GetScriptCollection().Find("Hello")->GetSize());
    CTestStream a, b;
    loader.Save(&a);
    reread.Save(&b);
    EXPECT_EQ(a.m_Data, b.m_Data);

    reread.Clear();
    EXPECT_TRUE(reread.GetDocumentMap().empty());
    EXPECT_EQ(reread.GetScriptCollection().GetCount(), 0);
}

namespace {

std::string ReadText(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(DefineLoaderFiles, ToolBuildsAndDumpsTheSameDefinitions)
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        GTEST_SKIP() << "VL_TEST_BIN_DIR not set";
    std::string tool = std::string(szBin) + "/vlresource";
    Write("vlres201.dat",
          "<Files><File name=\"m.xml\"/><File name=\"p.xml\"/><File name=\"s.vls\" type=\"SCRIPT\"/></Files>");
    Write("m.xml",
          "<ModuleMapping><Module name=\"VLMDSock\"><Instance name=\"Send\" v=\"&lt;&gt;\"/></Module></ModuleMapping>");
    // The resource form drops comments: the list's dump shows none either.
    Write("p.xml", "<PropertyRoot><!-- a comment --><P name=\"VLPC\">x</P></PropertyRoot>");
    Write("s.vls", "int A() { return 1; }\nint B(int n) { return n; }\n");
    std::string d = m_strDir + "/";
    ASSERT_EQ(0, std::system((tool + " build " + d + "vlres201.dat " + d + "vlres200.dat").c_str()));
    ASSERT_EQ(0, std::system((tool + " dump " + d + "vlres201.dat > " + d + "a.txt").c_str()));
    ASSERT_EQ(0, std::system((tool + " dump " + d + "vlres200.dat > " + d + "b.txt").c_str()));
    std::string a = ReadText(d + "a.txt");
    EXPECT_EQ(a, ReadText(d + "b.txt"));
    EXPECT_EQ(a.find("document ModuleMapping\n"), 0u);
    EXPECT_NE(a.find("document PropertyRoot\n"), std::string::npos);
    EXPECT_NE(a.find("\nscript A "), std::string::npos);
    EXPECT_LT(a.find("\nscript A "), a.find("\nscript B "));

    // A cut resource fails, naming the file and the record.
    std::string full = ReadText(d + "vlres200.dat");
    Write("cut.dat", full.substr(0, full.size() - 1));
    EXPECT_NE(0, std::system((tool + " dump " + d + "cut.dat 2> " + d + "err.txt").c_str()));
    std::string err = ReadText(d + "err.txt");
    EXPECT_NE(err.find(d + "cut.dat: record 4"), std::string::npos) << err;
    // A failed build leaves the earlier resource as it was.
    Write("p.xml", "<PropertyRoot>");
    EXPECT_NE(0,
              std::system((tool + " build " + d + "vlres201.dat " + d + "vlres200.dat 2> " + d + "err.txt").c_str()));
    EXPECT_NE(ReadText(d + "err.txt").find(d + "p.xml: line 1"), std::string::npos);
    EXPECT_EQ(ReadText(d + "vlres200.dat"), full);
}

// A file listed twice, under one name or two, is one document once; an
// element of text and elements (mixed content) comes out of the resource as
// it went in.
TEST_F(DefineLoaderFiles, AFileListedTwiceIsReadOnceAndMixedContentIsKept)
{
    Write("vlres201.dat", "<Files><File name=\"VLPC.xml\"/><File name=\"./VLPC.xml\"/><File name=\"s.vls\" "
                          "type=\"script\"/><File name=\"./s.vls\" type=\"script\"/><File name=\"m.xml\"/></Files>");
    Write("VLPC.xml", "<VLPC><Key name=\"a\"/></VLPC>");
    Write("s.vls", "int A() { return 1; }\n");
    Write("m.xml", "<Doc><P>text <b>bold</b> <i/>  <u>x</u> end</P>\n  <Q> spaced </Q>\n  <R> <b/>x </R>\n"
                   "  <S>  </S>\n  <T>\n    <u> </u>\n  </T></Doc>");
    CVLDefineLoader loader;
    ASSERT_EQ(LoadList(loader), "");
    CVLXmlDocument* pDoc = loader.GetDocument("VLPC", false);
    ASSERT_NE(pDoc, nullptr);
    EXPECT_EQ(1, pDoc->GetDocumentElement()->GetChildNodes()->GetLength());
    EXPECT_EQ(1, loader.GetScriptCollection().GetCount());
    // The resource holds every text as it was, blanks beside elements too.
    CTestStream bytes;
    loader.Save(&bytes);
    CVLDefineLoader reread;
    reread.Load(reinterpret_cast<const VL_BYTE*>(bytes.m_Data.data()), static_cast<VL_SIZE_T>(bytes.m_Data.size()));
    ASSERT_NE(reread.GetDocument("Doc", false), nullptr);
    EXPECT_TRUE(loader.GetDocument("Doc", false)
                    ->GetDocumentElement()
                    ->IsEqualNode(reread.GetDocument("Doc", false)->GetDocumentElement()));

    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        GTEST_SKIP() << "VL_TEST_BIN_DIR not set";
    std::string tool = std::string(szBin) + "/vlresource";
    std::string d = m_strDir + "/";
    ASSERT_EQ(0, std::system((tool + " build " + d + "vlres201.dat " + d + "vlres200.dat").c_str()));
    ASSERT_EQ(0, std::system((tool + " dump " + d + "vlres200.dat > " + d + "out.txt").c_str()));
    std::string out = ReadText(d + "out.txt");
    size_t nFirst = out.find("<Key name=\"a\"/>");
    ASSERT_NE(std::string::npos, nFirst) << out;
    EXPECT_EQ(std::string::npos, out.find("<Key", nFirst + 1)) << out;
    EXPECT_NE(std::string::npos, out.find("<P>text <b>bold</b> <i/>  <u>x</u> end</P>")) << out;
    EXPECT_NE(std::string::npos, out.find("<Q> spaced </Q>")) << out;
    // Blanks are dropped from the print only where they lay out elements.
    EXPECT_NE(std::string::npos, out.find("<R> <b/>x </R>")) << out;
    EXPECT_NE(std::string::npos, out.find("<S>  </S>")) << out;
    EXPECT_NE(std::string::npos, out.find("\t<T>\n\t\t<u> </u>\n\t</T>\n")) << out;
}

TEST_F(DefineLoaderFiles, OnlyRegularFilesAreRead)
{
    // A FIFO would block the open for ever: the list, a member and a
    // resource that are not regular files fail at once, saying so.
    CWatchdog watchdog(60, "reading FIFOs");
    ASSERT_EQ(0, mkfifo((m_strDir + "/fifo").c_str(), 0600));
    Write("vlres201.dat", "<Files><File name=\"a.xml\"/><File name=\"fifo\"/></Files>");
    Write("a.xml", "<A/>");
    CVLDefineLoader loader;
    try {
        loader.LoadFiles(m_PathInfo, "vlres201.dat");
        ADD_FAILURE() << "a FIFO was read";
    } catch (EVLException* e) {
        EXPECT_EQ(loader.DescribeFailure(e), m_strDir + "/fifo: not a regular file");
        e->Delete();
    }
    EXPECT_EQ(LoadList(loader, "fifo"), "EVLOpenException");
    CVLDefineLoader resource;
    try {
        resource.Load((m_strDir + "/fifo").c_str());
        ADD_FAILURE() << "a FIFO was read";
    } catch (EVLException* e) {
        EXPECT_EQ(resource.DescribeFailure(e), m_strDir + "/fifo: not a regular file");
        e->Delete();
    }
    try {
        resource.Load((m_strDir + "/missing.dat").c_str());
    } catch (EVLException* e) {
        EXPECT_EQ(resource.DescribeFailure(e), m_strDir + "/missing.dat: cannot be opened: No such file or directory");
        e->Delete();
    }
}

TEST_F(DefineLoaderFiles, ToolWritesOnlyItsOwnFileAndReadsOnlyRegularOnes)
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        GTEST_SKIP() << "VL_TEST_BIN_DIR not set";
    // Every run is bounded, so that a blocked read fails instead of hanging.
    std::string tool = std::string("timeout 60 ") + szBin + "/vlresource";
    std::string d = m_strDir + "/";
    Write("list.dat", "<Files><File name=\"m.xml\"/></Files>");
    const std::string strMember = "<ModuleMapping><Module name=\"VLMDSock\"/></ModuleMapping>";
    Write("m.xml", strMember);
    const std::string strList = ReadText(d + "list.dat");
    auto run = [&](const std::string& strArgs, const std::string& strBefore = std::string()) {
        int nStatus = std::system((strBefore + tool + " " + strArgs + " 2> " + d + "err.txt").c_str());
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    };
    auto err = [&] { return ReadText(d + "err.txt"); };

    // An OUT that is not a regular file stays what it is.
    ASSERT_EQ(0, mkfifo((d + "out.fifo").c_str(), 0600));
    EXPECT_EQ(1, run("build " + d + "list.dat " + d + "out.fifo"));
    EXPECT_NE(err().find(d + "out.fifo: not written: it exists and is not a regular file"), std::string::npos) << err();
    struct stat info;
    ASSERT_EQ(0, lstat((d + "out.fifo").c_str(), &info));
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    // A link planted where a predictable temporary file would be is left alone.
    Write("victim", "precious");
    ASSERT_EQ(0, symlink((d + "victim").c_str(), (d + "out.dat.tmp").c_str()));
    EXPECT_EQ(0, run("build " + d + "list.dat " + d + "out.dat")) << err();
    EXPECT_EQ(ReadText(d + "victim"), "precious");
    EXPECT_EQ(ReadText(d + "out.dat").compare(0, 4, "VLCM"), 0);
    // Made as any new file is, with the modes the umask leaves.
    for (mode_t nMask : {022, 077}) {
        char szMask[8];
        snprintf(szMask, sizeof(szMask), "%03o", static_cast<unsigned>(nMask));
        EXPECT_EQ(
            0, run(std::string("build ") + d + "list.dat " + d + "mode.dat", std::string("umask ") + szMask + " && "))
            << err();
        struct stat made;
        ASSERT_EQ(0, stat((d + "mode.dat").c_str(), &made));
        EXPECT_EQ(0666 & ~nMask, made.st_mode & 0777) << szMask;
    }

    // The list and its members, under any name, are never overwritten.
    ASSERT_EQ(0, link((d + "m.xml").c_str(), (d + "alias.xml").c_str()));
    for (const char* szOut : {"list.dat", "m.xml", "alias.xml"}) {
        EXPECT_EQ(1, run("build " + d + "list.dat " + d + szOut)) << szOut;
        EXPECT_NE(err().find(", which the resource is built from"), std::string::npos) << err();
    }
    EXPECT_EQ(ReadText(d + "list.dat"), strList);
    EXPECT_EQ(ReadText(d + "m.xml"), strMember);

    // A FIFO to dump or as a member fails at once, and says why.
    EXPECT_EQ(1, run("dump " + d + "out.fifo"));
    EXPECT_EQ(err(), "vlresource: " + d + "out.fifo: not a regular file\n");
    Write("fifolist.dat", "<Files><File name=\"out.fifo\"/></Files>");
    EXPECT_EQ(1, run("build " + d + "fifolist.dat " + d + "x.dat"));
    EXPECT_EQ(err(), "vlresource: " + d + "out.fifo: not a regular file\n");

    // A corrupt resource names the record and what is wrong with it.
    std::string full = ReadText(d + "out.dat");
    full[64] = 7;
    Write("bad.dat", full);
    EXPECT_EQ(1, run("dump " + d + "bad.dat"));
    EXPECT_EQ(err(), "vlresource: " + d + "bad.dat: record 1 (offset 64): a record of an unknown type\n");
}

// A resource that is empty or cut is built again from its list: the list
// beside it is named in the command, when there is one.
TEST_F(DefineLoaderFiles, AnEmptyOrCutResourceNamesTheListThatBuildsItAgain)
{
    const std::string strResource = m_strDir + "/vlres200.dat";
    auto error = [&] {
        CVLDefineLoader loader;
        loader.SetListName("vlres201.dat");
        try {
            loader.Load(strResource.c_str());
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
        }
        return loader.GetErrorText();
    };
    Write("vlres200.dat", "");
    EXPECT_EQ("the file is empty; build it again from its definition list: vlresource build LIST vlres200.dat",
              error());
    Write("vlres201.dat", "<Files/>");
    const std::string strAgain = "build it again from the definition list beside it: vlresource build " + m_strDir +
                                 "/vlres201.dat " + strResource;
    EXPECT_EQ("the file is empty; " + strAgain, error());
    Write("vlres200.dat", std::string("VLCM\x01\0\0\0", 8));
    EXPECT_EQ("the file is cut: it ends 8 bytes into the 64-byte header; " + strAgain, error());
}

// A name is defined once per element kind, and per list: a Packet may
// share a Function's name, and a second list loaded by the same loader
// does not meet the first one's names.
TEST_F(DefineLoaderFiles, ANameIsDefinedOncePerElementKindAndPerList)
{
    Write("vlres201.dat", "<Files><File name=\"a.xml\"/><File name=\"b.xml\"/></Files>");
    Write("a.xml", "<VLPC><Function name=\"X\"/></VLPC>");
    Write("b.xml", "<VLPC><Packet name=\"X\"/></VLPC>");
    CVLDefineLoader loader;
    EXPECT_EQ(LoadList(loader), "") << loader.GetErrorText();
    Write("again.dat", "<Files><File name=\"c.xml\"/></Files>");
    Write("c.xml", "<VLPC><Function name=\"X\"/></VLPC>");
    EXPECT_EQ(LoadList(loader, "again.dat"), "") << loader.GetErrorText();
}
