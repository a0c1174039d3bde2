// The payload layouts of the device profile as VLPC definition XML: one
// PacketFormat per function, with its request and reply layouts. The tests,
// the fuzz targets and the benchmarks of the VLPC module load their field
// lists from here.
#ifndef VLPCPROFILELAYOUTS_H
#define VLPCPROFILELAYOUTS_H

#include <string>
#include <vector>

#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "modules/vlpc/VLPCFieldList.h"
#include "tests/support/XmlTestStream.h"

inline const char* VLPCProfileLayoutsXml()
{
    return R"(<VLPC>
<KeyProperty name="MACAddress" propertyPath="MACAddress"/>
<KeyProperty name="VLPCVersion" propertyPath="VLPC.2B_5A01_01.VLPCVersion"/>
<KeyProperty name="DeviceNumber" propertyPath="VLPC.2B_5A01_01.DeviceNumber"/>
<KeyProperty name="EncryptionMode" propertyPath="VLPC.2B_5A01_01.EncryptionMode"/>
<KeyProperty name="EncryptionType" propertyPath="VLPC.2B_5A01_01.EncryptionType"/>
<KeyProperty name="CipherType" propertyPath="VLPC.2B_5A01_01.CipherType"/>
<PacketFormat deviceType="2B" function="5A01">
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="VLPCVersion" type="Byte" propertyPath="VLPC.2B_5A01_01.VLPCVersion"/>
    <Field name="EncryptionMode" type="Byte" propertyPath="VLPC.2B_5A01_01.EncryptionMode"/>
    <Field name="EncryptionType" type="Byte" propertyPath="VLPC.2B_5A01_01.EncryptionType"/>
    <Field name="CipherType" type="UShort" propertyPath="VLPC.2B_5A01_01.CipherType"/>
    <Field name="DeviceKind" type="Byte" propertyPath="VLPC.2B_5A01_01.DeviceKind"/>
    <Field name="IPMode" type="Byte" propertyPath="VLPC.2B_5A01_01.IPMode"/>
    <Field name="IPAddress" type="IPV4Address" propertyPath="VLPC.2B_5A01_01.IPAddress"/>
    <Field name="SubnetMask" type="IPV4Address" propertyPath="VLPC.2B_5A01_01.SubnetMask"/>
    <Field name="Gateway" type="IPV4Address" propertyPath="VLPC.2B_5A01_01.Gateway"/>
    <Field name="ModelName" type="VarStringBytePrefix" propertyPath="VLPC.2B_5A01_01.ModelName"/>
    <Field name="ServiceList" type="UShort" propertyPath="VLPC.2B_5A01_01.ServiceList" defaultValue="0">
      <Field name="ServiceId" type="Byte" propertyPath="ServiceId"/>
      <Field name="Port" type="UShort" propertyPath="Port"/>
    </Field>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A02">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="LinkStatus" type="Byte" propertyPath="VLPC.2B_5A02_01.LinkStatus"/>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A03">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="Capabilities" type="ULong" propertyPath="VLPC.2B_5A03_01.Capabilities"/>
    <Field name="FunctionList" type="UShort" propertyPath="VLPC.2B_5A03_01.FunctionList">
      <Field name="Function" type="UShort" propertyPath="Function"/>
    </Field>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A04">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="WebPort" type="UShort" propertyPath="VLPC.2B_5A04_01.WebPort"/>
    <Field name="Status" type="Byte" propertyPath="VLPC.2B_5A04_01.Status"/>
    <Field name="NodeName" type="VarString" propertyPath="VLPC.2B_5A04_01.NodeName"/>
    <Field name="Location" type="VarString" propertyPath="VLPC.2B_5A04_01.Location"/>
    <Field name="FirmwareVersion" type="NullString" propertyPath="VLPC.2B_5A04_01.FirmwareVersion"/>
    <Field name="SerialNumber" type="String" size="16" propertyPath="VLPC.2B_5A04_01.SerialNumber"/>
    <Field name="ProtocolList" type="UShort" propertyPath="VLPC.2B_5A04_01.ProtocolList">
      <Field name="ProtocolId" type="Byte" propertyPath="ProtocolId"/>
      <Field name="Enabled" type="Byte" propertyPath="Enabled"/>
      <Field name="Port" type="UShort" propertyPath="Port"/>
    </Field>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A10">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="IPMode" type="Byte" propertyPath="VLPC.2B_5A10_01.IPMode"/>
    <Field name="IPAddress" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.IPAddress"/>
    <Field name="SubnetMask" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.SubnetMask"/>
    <Field name="Gateway" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.Gateway"/>
    <Field name="WebPort" type="UShort" propertyPath="VLPC.2B_5A10_01.WebPort"/>
    <Field name="NodeName" type="VarString" propertyPath="VLPC.2B_5A10_01.NodeName"/>
    <Field name="Location" type="VarString" propertyPath="VLPC.2B_5A10_01.Location"/>
    <Field name="Contact" type="LengthString" propertyPath="VLPC.2B_5A10_01.Contact"/>
  </RecvDataFormat>
  <RecvDataFormat version="2">
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="IPMode" type="Byte" propertyPath="VLPC.2B_5A10_01.IPMode"/>
    <Field name="IPAddress" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.IPAddress"/>
    <Field name="SubnetMask" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.SubnetMask"/>
    <Field name="Gateway" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.Gateway"/>
    <Field name="WebPort" type="UShort" propertyPath="VLPC.2B_5A10_01.WebPort"/>
    <Field name="NodeName" type="VarString" propertyPath="VLPC.2B_5A10_01.NodeName"/>
    <Field name="Location" type="VarString" propertyPath="VLPC.2B_5A10_01.Location"/>
    <Field name="Contact" type="LengthString" propertyPath="VLPC.2B_5A10_01.Contact"/>
    <Field name="DNSServer" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.DNSServer"/>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A11">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="WLANMode" type="Byte" propertyPath="VLPC.2B_5A11_01.WLANMode"/>
    <Field name="Channel" type="Byte" propertyPath="VLPC.2B_5A11_01.Channel"/>
    <Field name="Security" type="Byte" propertyPath="VLPC.2B_5A11_01.Security"/>
    <Field name="SignalLevel" type="Byte" propertyPath="VLPC.2B_5A11_01.SignalLevel"/>
    <Field name="SSID" type="VarStringBytePrefix" propertyPath="VLPC.2B_5A11_01.SSID"/>
    <Field name="ScanList" type="UShort" propertyPath="VLPC.2B_5A11_01.ScanList">
      <Field name="SSID" type="VarStringBytePrefix" propertyPath="SSID"/>
      <Field name="Channel" type="Byte" propertyPath="Channel"/>
      <Field name="Security" type="Byte" propertyPath="Security"/>
      <Field name="SignalLevel" type="Byte" propertyPath="SignalLevel"/>
    </Field>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A20">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
    <Field name="Password" type="Password"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="AccessLevel" type="Byte" propertyPath="VLPC.2B_5A20_01.AccessLevel"/>
  </RecvDataFormat>
  <RecvDataFormat result="1001">
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="RetryLeft" type="Byte" propertyPath="VLPC.2B_5A20_01.RetryLeft"/>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A21">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
    <Field name="Password" type="Password"/>
    <Field name="IPMode" type="Byte" propertyPath="VLPC.2B_5A10_01.IPMode"/>
    <Field name="IPAddress" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.IPAddress"/>
    <Field name="SubnetMask" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.SubnetMask"/>
    <Field name="Gateway" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.Gateway"/>
    <Field name="WebPort" type="UShort" propertyPath="VLPC.2B_5A10_01.WebPort"/>
    <Field name="NodeName" type="VarString" propertyPath="VLPC.2B_5A10_01.NodeName"/>
    <Field name="Location" type="VarString" propertyPath="VLPC.2B_5A10_01.Location"/>
    <Field name="Contact" type="LengthString" propertyPath="VLPC.2B_5A10_01.Contact"/>
  </SendDataFormat>
  <SendDataFormat version="2">
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
    <Field name="Password" type="Password"/>
    <Field name="IPMode" type="Byte" propertyPath="VLPC.2B_5A10_01.IPMode"/>
    <Field name="IPAddress" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.IPAddress"/>
    <Field name="SubnetMask" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.SubnetMask"/>
    <Field name="Gateway" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.Gateway"/>
    <Field name="WebPort" type="UShort" propertyPath="VLPC.2B_5A10_01.WebPort"/>
    <Field name="NodeName" type="VarString" propertyPath="VLPC.2B_5A10_01.NodeName"/>
    <Field name="Location" type="VarString" propertyPath="VLPC.2B_5A10_01.Location"/>
    <Field name="Contact" type="LengthString" propertyPath="VLPC.2B_5A10_01.Contact"/>
    <Field name="DNSServer" type="IPV4Address" propertyPath="VLPC.2B_5A10_01.DNSServer"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="RebootRequired" type="Byte" propertyPath="VLPC.2B_5A21_01.RebootRequired"/>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A22">
  <SendDataFormat>
    <Field name="TargetMAC" type="String" size="12" propertyPath="MACAddress"/>
    <Field name="Password" type="Password"/>
  </SendDataFormat>
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="RebootRequired" type="Byte" propertyPath="VLPC.2B_5A22_01.RebootRequired"/>
  </RecvDataFormat>
</PacketFormat>
<PacketFormat deviceType="2B" function="5A30">
  <RecvDataFormat>
    <Field name="MACAddress" type="MACAddress" propertyPath="MACAddress"/>
    <Field name="DeviceStatus" type="Byte" propertyPath="VLPC.2B_5A30_01.DeviceStatus"/>
    <Field name="Uptime" type="ULong" propertyPath="VLPC.2B_5A30_01.Uptime"/>
    <Field name="IPMode" type="Byte" propertyPath="VLPC.2B_5A30_01.IPMode"/>
    <Field name="IPAddress" type="IPV4Address" propertyPath="VLPC.2B_5A30_01.IPAddress"/>
    <Field name="SubnetMask" type="IPV4Address" propertyPath="VLPC.2B_5A30_01.SubnetMask"/>
  </RecvDataFormat>
</PacketFormat>
</VLPC>
)";
}

// Every layout of the profile, loaded as a field list.
class CVLPCProfileLayouts
{
public:
    struct Layout
    {
        std::string strFunction;  // "5A01"
        bool bRecv;
        std::string strVersion;  // "" or "2"
        std::string strResult;   // "" or "1001"
        CVLPCFieldList* pList;
    };

    CVLPCProfileLayouts()
    {
        CTestStream stream(VLPCProfileLayoutsXml());
        m_Document.Load(&stream);
        CVLXmlNodeList* pFormats = m_Document.GetDocumentElement()->GetChildNodes();
        for (int i = 0; i < pFormats->GetLength(); ++i) {
            IVLXmlNode* pFormat = pFormats->Item(i);
            if (pFormat->GetNodeType() != 1 || pFormat->GetNodeName().Compare("PacketFormat") != 0)
                continue;
            std::string strFunction = static_cast<CVLXmlElement*>(pFormat)->GetAttribute("function").GetBuffer();
            CVLXmlNodeList* pData = pFormat->GetChildNodes();
            for (int j = 0; j < pData->GetLength(); ++j) {
                IVLXmlNode* pNode = pData->Item(j);
                if (pNode->GetNodeType() != 1)
                    continue;
                CVLXmlElement* pElement = static_cast<CVLXmlElement*>(pNode);
                Layout layout;
                layout.strFunction = strFunction;
                layout.bRecv = pElement->GetNodeName().Compare("RecvDataFormat") == 0;
                layout.strVersion = pElement->GetAttribute("version").GetBuffer();
                layout.strResult = pElement->GetAttribute("result").GetBuffer();
                layout.pList = new CVLPCFieldList();
                layout.pList->Load(nullptr, pElement);
                m_Layouts.push_back(layout);
            }
        }
    }
    ~CVLPCProfileLayouts()
    {
        for (Layout& layout : m_Layouts)
            delete layout.pList;
    }
    CVLPCProfileLayouts(const CVLPCProfileLayouts&) = delete;
    CVLPCProfileLayouts& operator=(const CVLPCProfileLayouts&) = delete;

    CVLPCFieldList* Find(const char* szFunction, bool bRecv, const char* szVersion = "", const char* szResult = "")
    {
        for (Layout& layout : m_Layouts) {
            if (layout.strFunction == szFunction && layout.bRecv == bRecv && layout.strVersion == szVersion &&
                layout.strResult == szResult)
                return layout.pList;
        }
        return nullptr;
    }

    std::vector<Layout> m_Layouts;

private:
    CVLXmlDocument m_Document;
};

#endif
