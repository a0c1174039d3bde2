#include <gtest/gtest.h>

#include <string>

#include "base/core/VLInvalidParamException.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLAllowedRequests.h"
#include "cm/VLModuleParamCollection.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VirtualSlot.h"

namespace {

// An instance running function "F" of module "M".
class CNamedInstance : public CVLModuleInstance
{
public:
    CNamedInstance() : m_strFunction("F", VL_CHARSET_UTF8), m_strModule("M", VL_CHARSET_UTF8) {}
    const CVLString& GetName() override { return m_strFunction; }
    const CVLString& GetModuleName() override { return m_strModule; }

private:
    CVLString m_strFunction;
    CVLString m_strModule;
};

std::string Names(CVLModuleParamCollection& params)
{
    std::string s;
    for (CVLModuleParamIterator it = params.Begin(); !it.IsEnd(); it.Next())
        s += (s.empty() ? "" : ",") + Bytes(it.Get()->GetName());
    return s;
}

TEST(ModuleParamCollection, LookupPlainThenFunctionThenModule)
{
    CNamedInstance instance;
    CVLModuleParamCollection& params = *instance.GetParams();
    params.SetOwnerInstance(&instance);
    params.Add("timeout")->SetInt(1);
    params.Add("F.timeout")->SetInt(2);
    params.Add("M.timeout")->SetInt(3);
    EXPECT_EQ(1, params.Find("timeout")->GetInt());
    params.Remove("timeout");
    EXPECT_EQ(2, params.Find("timeout")->GetInt());
    params.Remove("F.timeout");
    EXPECT_EQ(3, params.Find("timeout")->GetInt());
    EXPECT_EQ(nullptr, params.Find("retry"));
    // Only one level of qualification.
    params.Add("M.F.retry");
    EXPECT_EQ(nullptr, params.Find("retry"));

    // Creation asks the qualified lookup too.
    params.Add("F.unicast")->SetBool(true);
    CVLModuleParam* pQualified = params.GetParam("unicast", true);
    EXPECT_EQ("F.unicast", Bytes(pQualified->GetName()));
    try {
        params.Add("unicast");
        ADD_FAILURE() << "a name the qualified lookup finds was created";
    } catch (EVLInvalidParamException* e) {
        e->Delete();
    }
    int nCount = params.GetCount();
    CVLModuleParam* pNew = params.GetParam("fresh", true);
    EXPECT_EQ(nCount + 1, params.GetCount());
    EXPECT_EQ(VL_VARIANT_TYPE_EMPTY, pNew->GetType());
    EXPECT_EQ(pNew, params.GetAt(nCount));
}

TEST(ModuleParamCollection, FreeStandingFindsExactNamesOnly)
{
    CVLModuleParamCollection params;
    params.Add("F.timeout");
    EXPECT_EQ(nullptr, params.Find("timeout"));
    EXPECT_EQ(nullptr, params.GetParam("timeout", false));
}

TEST(ModuleParamCollection, AssignmentCopiesParametersAndContextNotOwnerOrResult)
{
    CVLModuleParamCollection src;
    src.Add("b")->SetInt(2);
    src.Add("a")->SetString(CVLString("x", VL_CHARSET_UTF8));
    src.Find("b")->ClearModified();
    src.SetFunctionName("Probe");
    src.SetPacketListName("PL");
    src.GetResult().SetInt(9);

    CNamedInstance instance;
    CVLModuleParamCollection& dst = *instance.GetParams();
    dst.SetOwnerInstance(&instance);
    dst.Add("old");
    dst.GetResult().SetInt(5);
    dst = src;
    EXPECT_EQ("b,a", Names(dst));
    EXPECT_NE(src.Find("b"), dst.Find("b"));
    EXPECT_FALSE(dst.Find("b")->IsModified());
    EXPECT_TRUE(dst.Find("a")->IsModified());
    EXPECT_EQ("Probe", Bytes(dst.GetFunctionName()));
    EXPECT_EQ("PL", Bytes(dst.GetPacketListName()));
    EXPECT_EQ(5, dst.GetResult().GetInt());
    // Still owned by the instance: qualified names resolve.
    dst.Add("F.z");
    EXPECT_NE(nullptr, dst.Find("z"));
}

// The requests a call may send, any letter case, carried by a copy; none
// set: any request.
TEST(ModuleParamCollection, AllowedRequestsInAnyCaseAndCopied)
{
    CVLModuleParamCollection src;
    EXPECT_TRUE(src.IsRequestAllowed("I2B5A22"));
    // In upper case "p2b5a01" comes before "Q2B5A02", after it as given.
    src.SetAllowedRequests(CVLAllowedRequests::Of({"Q2B5A02", "p2b5a01", "q2b5a02"}));
    CVLModuleParamCollection dst;
    dst = src;
    for (CVLModuleParamCollection* p : {&src, &dst}) {
        EXPECT_TRUE(p->IsRequestAllowed("P2B5A01"));
        EXPECT_TRUE(p->IsRequestAllowed("q2B5a02"));
        EXPECT_FALSE(p->IsRequestAllowed("I2B5A22"));
    }
}

// The collection's own virtual operations follow the template's in their
// declared order, and nothing else takes a slot among them.
TEST(ModuleParamCollection, VirtualOperationsKeepTheirDeclaredSlots)
{
    typedef CVLModuleParamCollection C;
    const long slots[] = {VirtualSlot(&C::SetOwnerInstance),
                          VirtualSlot(&C::SetController),
                          VirtualSlot(&C::GetController),
                          VirtualSlot(&C::SetTarget),
                          VirtualSlot(&C::GetTarget),
                          VirtualSlot(&C::SetTargetList),
                          VirtualSlot(&C::GetTargetList),
                          VirtualSlot(&C::SetInstance),
                          VirtualSlot(&C::SetFunctionName),
                          VirtualSlot(&C::GetFunctionName),
                          VirtualSlot(&C::SetPacketListName),
                          VirtualSlot(&C::GetPacketListName),
                          VirtualSlot(&C::SetMethodName),
                          VirtualSlot(&C::GetMethodName),
                          VirtualSlot(&C::SetTemplateName),
                          VirtualSlot(&C::GetTemplateName),
                          VirtualSlot(&C::SetListener),
                          VirtualSlot(&C::GetListener),
                          VirtualSlot(&C::SetProgressListener),
                          VirtualSlot(&C::GetProgressListener),
                          VirtualSlot(&C::SetStreamCollection),
                          VirtualSlot(&C::GetStreamCollection),
                          VirtualSlot(&C::operator=),
                          VirtualSlot(&C::GetParam),
                          VirtualSlot(&C::GetResult)};
    // The template's last operation, its element factory, comes just before.
    const long nFirst = VirtualSlot(&C::CreateElement) + 1;
    for (size_t i = 0; i < sizeof(slots) / sizeof(slots[0]); ++i)
        EXPECT_EQ(nFirst + static_cast<long>(i), slots[i]) << i;
    EXPECT_EQ(-1, VirtualSlot(&C::GetInstance));
    EXPECT_EQ(-1, VirtualSlot(&C::SetAllowedRequests));
    EXPECT_EQ(-1, VirtualSlot(&C::IsRequestAllowed));
}

}  // namespace
