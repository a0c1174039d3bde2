#include <gtest/gtest.h>

#include <vector>

#include "script/VLScriptCollection.h"
#include "script/VLScriptParams.h"
#include "script/VLScriptParamsStack.h"
#include "tests/support/TestSupport.h"

namespace {
void Fill(CVLScriptParams& p, int n)
{
    for (int i = 0; i < n; ++i)
        p.Add()->SetInt(i);
}
}  // namespace

TEST(ScriptParams, InsertAtClampsTheIndex)
{
    CVLScriptParams p;
    Fill(p, 2);
    CVLVariant* a = p.InsertAt(-5);
    EXPECT_EQ(p.GetAt(0), a);
    CVLVariant* b = p.InsertAt(3);
    EXPECT_EQ(p.GetAt(3), b);
    CVLVariant* c = p.InsertAt(99, new CVLVariant());
    EXPECT_EQ(p.GetAt(4), c);
    EXPECT_EQ(p.GetCount(), 5);
}

TEST(ScriptParams, BadIndexesThrow)
{
    CVLScriptParams p;
    Fill(p, 2);
    try {
        p.GetAt(2);
        FAIL();
    } catch (EVLInvalidParamException* e) {
        e->Delete();
    }
    EXPECT_EQ(p.IndexOf(nullptr), -1);
    EXPECT_EQ(p.IndexOf(p.GetAt(1)), 1);
    try {
        p.RemoveAt(-1);
        FAIL();
    } catch (EVLInvalidParamException* e) {
        e->Delete();
    }
    EXPECT_EQ(p.GetCount(), 2);
}

TEST(ScriptParams, CopyIsDeepAndKeepsTheCaller)
{
    CVLScriptParams src;
    src.Add()->SetLong(1);
    src.Add()->SetString("a", VL_CHARSET_UTF8);
    CVLVariant seven;
    seven.SetLong(7);
    src.SetReturnValue(seven);
    CVLScriptParams dst;
    IVLScriptExtendIF* pCaller = reinterpret_cast<IVLScriptExtendIF*>(&dst);
    dst.SetCaller(pCaller);
    dst = src;
    ASSERT_EQ(dst.GetCount(), 2);
    EXPECT_NE(dst.GetAt(0), src.GetAt(0));
    EXPECT_EQ(dst.GetAt(0)->ToLong(0), 1);
    EXPECT_EQ(Bytes(dst.GetAt(1)->ToString(nullptr)), "a");
    EXPECT_EQ(dst.GetReturnValue().ToLong(0), 7);
    EXPECT_EQ(dst.GetCaller(), pCaller);
    dst.GetAt(0)->SetLong(5);
    EXPECT_EQ(src.GetAt(0)->ToLong(0), 1);
    CVLScriptParams copy(src);
    EXPECT_EQ(copy.GetCount(), 2);
    EXPECT_EQ(copy.GetCaller(), nullptr);
}

TEST(ScriptParams, AssigningAListToItselfKeepsIt)
{
    CVLScriptParams p;
    Fill(p, 3);
    CVLVariant r;
    r.SetInt(4);
    p.SetReturnValue(r);
    CVLScriptParams& alias = p;
    p = alias;
    EXPECT_EQ(p.GetCount(), 3);
    EXPECT_EQ(p.GetAt(2)->ToInt(0), 2);
    EXPECT_EQ(p.GetReturnValue().ToInt(0), 4);
    p.ClearReturnValue();
    EXPECT_EQ(p.GetReturnValue().GetType(), 0);
    EXPECT_FALSE(p.GetReturnValue().IsModified());
}

TEST(ScriptParams, ReturnValueTakesTypeValueAndFlagAsAssignmentDoes)
{
    CVLScriptParams p;
    CVLVariant text;
    text.SetString("old", VL_CHARSET_UTF8);
    const int kTypes[] = {6, 7, 8, 9};
    for (int nType : kTypes) {
        for (bool bModified : {false, true}) {
            CVLVariant v;
            v.SetWordInline(nType, -3);
            v.SetModified(bModified);
            CVLVariant expected;
            expected = v;
            p.SetReturnValue(text);  // an owned text is replaced
            p.SetReturnValue(v);
            EXPECT_EQ(p.GetReturnValue().GetType(), nType);
            EXPECT_EQ(p.GetReturnValue().GetWordInline(), -3);
            EXPECT_EQ(p.GetReturnValue().IsModified(), bModified);
            EXPECT_TRUE(p.GetReturnValue() == expected);
        }
    }
    p.SetReturnValue(text);
    EXPECT_EQ(Bytes(p.GetReturnValue().ToString(nullptr)), "old");
}

TEST(ScriptParamsStack, PushTopPop)
{
    CVLScriptParamsStack s;
    EXPECT_EQ(s.Top(), nullptr);
    s.Pop();
    CVLScriptParams* a = s.Push();
    CVLScriptParams* b = s.Push();
    EXPECT_EQ(s.Top(), b);
    s.Pop();
    EXPECT_EQ(s.Top(), a);
    s.Push();
    s.Push();
    // The destructor deletes the three frames left (ASan checks).
}

TEST(ScriptParamsStack, DeepStacksGiveEmptyFramesAndKeepTheOnesBelow)
{
    // Deeper than the frames kept for reuse, twice: every pushed frame is
    // empty, and popping leaves the frames below with their arguments.
    CVLScriptParamsStack s;
    const int kDepth = 40;
    for (int nPass = 0; nPass < 2; ++nPass) {
        std::vector<CVLScriptParams*> pushed;
        for (int i = 0; i < kDepth; ++i) {
            CVLScriptParams* p = s.Push();
            ASSERT_EQ(p->GetCount(), 0);
            EXPECT_EQ(p->GetReturnValue().GetType(), 0);
            EXPECT_EQ(p->GetCaller(), nullptr);
            p->AddKept()->SetLong(i);
            p->AddKept()->SetString("x", VL_CHARSET_UTF8);
            p->SetReturnValue(*p->GetAt(0));
            p->SetCaller(reinterpret_cast<IVLScriptExtendIF*>(p));
            pushed.push_back(p);
        }
        for (int i = kDepth - 1; i >= 0; --i) {
            ASSERT_EQ(s.Top(), pushed[i]);
            EXPECT_EQ(s.Top()->GetAt(0)->ToLong(0), i);
            s.Pop();
        }
        EXPECT_TRUE(s.IsEmpty());
        EXPECT_EQ(s.Top(), nullptr);
    }
}

TEST(ScriptCollection, AddWithAnEmptyKeyUsesTheCount)
{
    CVLScriptCollection c;
    c.Add("A");
    c.Add("B");
    CVLScript* p = c.Add("");
    EXPECT_EQ(c.Find("2"), p);
    CVLScript* q = c.Add(nullptr);
    EXPECT_EQ(c.Find("3"), q);
}

TEST(ScriptCollection, DuplicateNamesAndReplacedKeys)
{
    CVLScriptCollection c;
    CVLScript* first = c.Add("Probe");
    try {
        c.Add("Probe");
        FAIL();
    } catch (EVLInvalidParamException* e) {
        e->Delete();
    }
    EXPECT_EQ(c.Find("Probe"), first);
    EXPECT_EQ(c.Find("probe"), nullptr);
    // Filing another script under the same key keeps both in the list.
    CVLScript* second = c.Add("Probe", new CVLScript());
    EXPECT_EQ(c.Find("Probe"), second);
    EXPECT_EQ(c.GetCount(), 2);
    int n = 0;
    for (CVLScriptIterator it = c.Begin(); !it.IsEnd(); it.Next())
        ++n;
    EXPECT_EQ(n, 2);
    c.SetName("defs");
    EXPECT_EQ(Bytes(c.GetName()), "defs");
    try {
        c.GetAt(2);
        FAIL();
    } catch (EVLInvalidParamException* e) {
        e->Delete();
    }
}

TEST(ScriptCollection, FilingAFiledScriptAgainListsItOnce)
{
    CVLScriptCollection c;
    CVLScript* p = c.Add("A");
    EXPECT_EQ(c.Add("B", p), p);
    EXPECT_EQ(c.GetCount(), 1);
    EXPECT_EQ(c.Find("B"), p);
    EXPECT_EQ(c.Find("A"), p);
    c.Remove("B");  // deletes it once, and forgets both keys
    EXPECT_EQ(c.GetCount(), 0);
    EXPECT_EQ(c.Find("A"), nullptr);
}

TEST(ScriptCollection, CopyAndSelfAssignment)
{
    CVLScriptCollection c;
    c.Add("A");
    c.Add("B");
    CVLScriptCollection& alias = c;
    c = alias;
    EXPECT_EQ(c.GetCount(), 2);
    CVLScriptCollection d;
    d = c;
    EXPECT_EQ(d.GetCount(), 2);
    EXPECT_NE(d.Find("A"), c.Find("A"));
    CVLScriptCollection e;
    EXPECT_TRUE(e.Begin().IsEnd());
}
