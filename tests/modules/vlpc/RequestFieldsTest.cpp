// The fields a packet list's requests send, as the definitions lay them out.
#include <gtest/gtest.h>

#include <string>

#include "base/core/VLCharset.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLPCField.h"
#include "modules/vlpc/VLPCRequestFields.h"
#include "tests/modules/vlpc/VLPCTestHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

// "path type size [key] [counted]" of each field, ";" between (types: 5
// String, 11 MACAddress, 13 UShort, 15 Password).
std::string Describe(const std::vector<CVLPCRequestFields::SField>& fields)
{
    std::string s;
    for (const CVLPCRequestFields::SField& field : fields) {
        s += Bytes(field.strPath) + " " + std::to_string(field.nType) + " " + std::to_string(field.nSize);
        s += std::string(field.bKeyValue ? " key" : "") + (field.bCounted ? " counted" : "") + ";";
    }
    return s;
}

}  // namespace

TEST(VLPCRequestFields, EveryLayoutOrTheOneOfTheDevicesVersion)
{
    CVLPCTestModule m(R"(<VLPC><KeyProperty name="MACAddress" propertyPath="MAC"/>
        <KeyProperty name="VLPCVersion" propertyPath="V"/>
        <PacketList name="L"><Function deviceType="03" function="0001" packetType="S">
          <FieldName name="a" propertyPath="Own.A"/></Function></PacketList>
        <PacketFormat deviceType="03" function="0001">
          <SendDataFormat><Field name="m" type="MACAddress" propertyPath="MAC"/><Field name="p" type="Password"/>
            <Field name="a" type="String" size="8" propertyPath="Def.A"/></SendDataFormat>
          <SendDataFormat version="2"><Field name="n" type="UShort" propertyPath="N">
            <Field name="e" type="Byte" propertyPath="E"/></Field></SendDataFormat>
        </PacketFormat></VLPC>)");
    const CVLString strList("L", VL_CHARSET_UTF8);
    // The function's own path for a field comes first.
    const std::string strFirst = "MAC 11 6 key; 15 0;Own.A 5 8;";
    const std::string strSecond = "N 13 2 counted;";
    EXPECT_EQ(strFirst + strSecond, Describe(CVLPCRequestFields::List(&m.m_Module, strList)));
    EXPECT_EQ("", Describe(CVLPCRequestFields::List(&m.m_Module, CVLString("M", VL_CHARSET_UTF8))));
    EXPECT_EQ("", Describe(CVLPCRequestFields::List(static_cast<CVLMDVLPC*>(nullptr), strList)));

    CVLTarget* pDevice = m.m_Api.GetModuleController()->CreateTarget();
    EXPECT_EQ(strFirst, Describe(CVLPCRequestFields::List(&m.m_Module, strList, pDevice)));
    pDevice->GetProperties()->GetProperty("V", true)->SetUChar('2');
    EXPECT_EQ(strSecond, Describe(CVLPCRequestFields::List(&m.m_Module, strList, pDevice)));
    pDevice->Destroy(false);
}
