#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "tests/support/TestSupport.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLErrorResultException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLUnexpectedException.h"
#include "base/core/VLUnsupportedException.h"

namespace {

std::string Text(EVLException* e)
{
    std::string s = Bytes(e->ToString());
    e->Delete();
    return s;
}

// Runs a body that throws, passes it through the ladder and returns the result.
template <typename F>
EVLException* Ladder(F body)
{
    try {
        try {
            body();
        }
        VL_CATCH_LADDER("VLTest", "LadderTest")
    } catch (EVLException* e) {
        return e;
    }
    return nullptr;
}

// An exception that counts the live ones, to see who deletes them.
class ECounted : public EVLException
{
public:
    ECounted() : EVLException("VLTest", "OwnerTest", 1) { ++s_nLive; }
    ~ECounted() override { --s_nLive; }
    static int s_nLive;
};
int ECounted::s_nLive = 0;

}  // namespace

TEST(Exception, UnexpectedTexts)
{
    EXPECT_EQ(Text(new EVLUnexpectedException("VLStd", "X", 1)), "EVLUnexpectedException");
    EXPECT_EQ(Text(new EVLUnexpectedException("VLStd", "X", 1, static_cast<VL_LONG>(-5))),
              "EVLUnexpectedException: Error code=-5");
    EXPECT_EQ(Text(new EVLUnexpectedException("VLStd", "X", 1, static_cast<VL_ULONG>(4294967295u))),
              "EVLUnexpectedException: Error code=4294967295");
    EXPECT_EQ(Text(new EVLUnexpectedException("VLStd", "X", 1, static_cast<VL_LONG>(0))),
              "EVLUnexpectedException");
    EXPECT_EQ(Text(new EVLUnexpectedException("VLStd", "X", 1, "boom")), "EVLUnexpectedException : boom");
    EXPECT_EQ(Text(new EVLUnexpectedException("VLStd", "X", 1, "")), "EVLUnexpectedException");
}

TEST(Exception, FamilyTexts)
{
    EXPECT_EQ(Text(new EVLIOException("VLStd", "X", 1, "/tmp/a", 2)),
              "EVLIOException: File Path=/tmp/a: System ErrorCode=2");
    EXPECT_EQ(Text(new EVLOpenException("VLStd", "X", 1, "/tmp/a", 2)),
              "EVLOpenException: File path=/tmp/a: System ErrorCode=2");
    EXPECT_EQ(Text(new EVLUnsupportedException("VLStd", "X", 1, "Foo")),
              "EVLUnsupportedException: Method Name=Foo");
    EXPECT_EQ(Text(new EVLCommunicationException("VLStd", "X", 1, 65, "10.0.0.1", false)),
              "EVLCommunicationException: Exception Address=10.0.0.1: System ErrorCode=65");
    EXPECT_EQ(Text(new EVLErrorResultException("VLStd", "X", 1, "VLPC", -3)),
              "EVLErrorResultException: ProtocolName=VLPC: Result code=-3");
    EXPECT_EQ(Text(new EVLTimeoutException("VLStd", "X", 1, false)), "EVLTimeoutException");
}

TEST(Exception, ThrowSiteAndClassName)
{
    EVLException* e = new EVLInvalidParamException("VLStd", "VLByteArray", 77);
    EXPECT_EQ(Bytes(e->GetModuleName()), "VLStd");
    EXPECT_EQ(Bytes(e->GetFileName()), "VLByteArray");
    EXPECT_EQ(e->GetLine(), 77);
    EXPECT_EQ(Bytes(e->GetClassName()), "EVLInvalidParamException");
    EXPECT_EQ(Bytes(e->ToString()), Bytes(e->GetClassName()));
    e->Delete();
    VLDeleteException(nullptr);  // no effect
    EVLException* n = new EVLIOException("VLStd", nullptr, 1, nullptr, 0);
    EXPECT_EQ(n->GetFileName().GetLength(), 0);
    n->Delete();
}

TEST(Exception, CatchLadder)
{
    EVLException* e = Ladder([] { throw 7; });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(Bytes(e->GetClassName()), "EVLUnexpectedException");
    EXPECT_EQ(Bytes(e->GetFileName()), "LadderTest");
    EXPECT_EQ(Text(e), "EVLUnexpectedException: Error code=7");

    EXPECT_EQ(Text(Ladder([] { throw 4000000000u; })), "EVLUnexpectedException: Error code=4000000000");
    EXPECT_EQ(Text(Ladder([] { throw static_cast<short>(-2); })), "EVLUnexpectedException: Error code=-2");
    EXPECT_EQ(Text(Ladder([] { throw 'A'; })), "EVLUnexpectedException: Error code=65");
    EXPECT_EQ(Text(Ladder([] { throw "text"; })), "EVLUnexpectedException : text");
    static char s_szMutable[] = "mutable";
    EXPECT_EQ(Text(Ladder([] { throw static_cast<char*>(s_szMutable); })), "EVLUnexpectedException : mutable");
    EXPECT_EQ(Text(Ladder([] { throw std::runtime_error("std"); })), "EVLUnexpectedException : std");
    EXPECT_EQ(Text(Ladder([] { throw 1.5; })), "EVLUnexpectedException");

    EVLException* alloc = Ladder([] { throw std::bad_alloc(); });
    EXPECT_EQ(Bytes(alloc->GetClassName()), "EVLMemoryAllocException");
    alloc->Delete();

    EVLException* original = new EVLIOException("VLStd", "F", 3, "p", 1);
    EVLException* passed = Ladder([original] { throw original; });
    EXPECT_EQ(passed, original);
    passed->Delete();
}

TEST(Exception, ConstructorsTraceThemselves)
{
    CTraceCapture capture;
    (new EVLInvalidParamException("VLStd", "Somewhere", 5))->Delete();
    (new EVLTimeoutException("VLStd", "Somewhere", 5, false))->Delete();  // trace flag false: silent
    (new EVLUnexpectedException("VLStd", "Somewhere", 5, "100%d"))->Delete();
    ASSERT_EQ(capture.m_Lines.size(), 2u);
    EXPECT_EQ(capture.m_Lines[0], "VLStd VLInvalidParamException line[32] EVLInvalidParamException");
    EXPECT_EQ(capture.m_Lines[1], "VLStd VLUnexpectedException line[45] EVLUnexpectedException : 100%d");
}

TEST(Exception, OwnerDeletesOnEveryPathAndKeepsTheFirst)
{
    auto held = [](bool bReturnEarly) {
        CVLExceptionOwner owner(new ECounted);
        if (bReturnEarly)
            return 1;
        throw 2;
    };
    EXPECT_EQ(1, held(true));
    EXPECT_THROW(held(false), int);
    EXPECT_EQ(0, ECounted::s_nLive);

    EVLException* pFirst = new ECounted;
    EVLException* pThrown = nullptr;
    try {
        CVLExceptionOwner first;
        first.ThrowIfAny();  // nothing held: no throw
        first.KeepFirst(pFirst);
        first.KeepFirst(new ECounted);
        first.ThrowIfAny();
    } catch (EVLException* e) {
        pThrown = e;
    }
    EXPECT_EQ(pFirst, pThrown);
    EXPECT_EQ(1, ECounted::s_nLive);
    pThrown->Delete();

    for (int i = 0; i < 2; ++i) {
        try {
            if (i == 0)
                throw static_cast<EVLException*>(new ECounted);
            throw 3;
        } catch (...) {
            ReleaseCurrentException();
        }
    }
    EXPECT_EQ(0, ECounted::s_nLive);
}
