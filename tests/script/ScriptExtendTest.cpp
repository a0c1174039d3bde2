#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "script/VLScriptExtendIF.h"
#include "script/VLScriptParams.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"

namespace {
// "Echo" returns its object path as text; "Outer" calls "in.ner.Echo" on the
// same host from inside its handler and returns its own path as it reads it
// afterwards, with the inner result as its first argument.
class CPathHost : public IVLScriptExtendIF
{
public:
    CPathHost() : IVLScriptExtendIF(nullptr, nullptr)
    {
        m_MethodMap[CVLString("Echo", VL_CHARSET_UTF8)] = &Echo;
        m_MethodMap[CVLString("Outer", VL_CHARSET_UTF8)] = &Outer;
    }
    virtual CVLString GetContextText() override { return CVLString("paths", VL_CHARSET_UTF8); }

    static void Echo(IVLScriptExtendIF*, const CVLString& strPath, CVLScriptParams* pParams, void*)
    {
        CVLVariant v;
        v.SetString(strPath);
        pParams->SetReturnValue(v);
    }
    static void Outer(IVLScriptExtendIF* p, const CVLString& strPath, CVLScriptParams* pParams, void*)
    {
        std::string strBefore = Bytes(strPath);
        CVLScriptParams inner;
        p->CallFunction("in.ner.Echo", &inner, nullptr, nullptr);
        pParams->Add()->SetValue(inner.GetReturnValue());
        CVLVariant v;
        v.SetString(Bytes(strPath) == strBefore ? strPath : CVLString("changed", VL_CHARSET_UTF8));
        pParams->SetReturnValue(v);
    }
};

std::string Call(IVLScriptExtendIF& host, const std::string& strName, CVLScriptParams& params)
{
    if (!host.CallFunction(strName.c_str(), &params, nullptr, nullptr))
        return "<none>";
    return Bytes(params.GetReturnValue().ToString(""));
}
}  // namespace

TEST(ScriptExtend, PathsStayIntactAcrossNestedAndRepeatedCalls)
{
    CPathHost host;
    CVLScriptParams params;
    // The inner call uses a new path and, the second time, a known one.
    for (int i = 0; i < 2; ++i) {
        CVLScriptParams outer;
        EXPECT_EQ(Call(host, "a.b.Outer", outer), "a.b");
        EXPECT_EQ(Bytes(outer.GetAt(0)->ToString("")), "in.ner");
    }
    // Far more distinct paths than the host keeps, each seen twice, and an
    // empty path, a long one and one of other bytes than a kept one of the
    // same length.
    for (int nPass = 0; nPass < 2; ++nPass) {
        for (int i = 0; i < 150; ++i) {
            std::string strPath = "p" + std::to_string(i);
            EXPECT_EQ(Call(host, strPath + ".Echo", params), strPath);
        }
    }
    EXPECT_EQ(Call(host, "Echo", params), "");
    std::string strLong(100, 'x');
    EXPECT_EQ(Call(host, strLong + ".Echo", params), strLong);
    EXPECT_EQ(Call(host, std::string(99, 'x') + "y.Echo", params), std::string(99, 'x') + "y");
    EXPECT_EQ(Call(host, "a.c.Outer", params), "a.c");
    EXPECT_EQ(Call(host, "a.b.Echo2", params), "<none>");
}

TEST(ScriptExtend, OneHostServesSeveralThreadsAtOnce)
{
    CWatchdog watchdog(60, "ScriptExtend threads");
    CPathHost host;
    const int kThreads = 4;
    std::vector<int> nBad(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&host, &nBad, t]() {
            CVLScriptParams params;
            for (int i = 0; i < 2000; ++i) {
                // Paths new to the host and shared ones, while others add theirs.
                std::string strPath =
                    (i % 2 == 0 ? "t" + std::to_string(t) : std::string("s")) + "." + std::to_string(i % 40);
                if (Call(host, strPath + ".Echo", params) != strPath)
                    ++nBad[t];
            }
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(nBad[t], 0) << "thread " << t;
}
