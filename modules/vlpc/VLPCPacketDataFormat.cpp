#include "modules/vlpc/VLPCPacketDataFormat.h"

#include "base/xml/VLXmlElement.h"
#include "cm/VLTargetLock.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCField.h"

CVLPCPacketDataFormat::CVLPCPacketDataFormat() : m_nVersion(0), m_nMACAddressOffset(-1)
{
    m_ResultCode[0] = 0;
    m_ResultCode[1] = 0;
}

CVLPCPacketDataFormat::~CVLPCPacketDataFormat()
{
}

void CVLPCPacketDataFormat::Load(CVLModuleController* pController, CVLMDVLPC* pModule, const CVLXmlElement* pElement)
{
    m_nVersion = VLPCReadVersion(pModule, pElement);
    m_strResult = pElement->GetAttribute("result");
    if (m_strResult.GetLength() > 0)
        m_strResult.HexToBytes(m_ResultCode, 2);
    m_strPacketType = pElement->GetAttribute("packetType");
    CVLPCFieldList::Load(pController, pElement);
    long nOffset = 0;
    for (int i = 0; i < GetCount(); ++i) {
        const CVLPCField* pField = GetAt(i);
        if (pField->GetOffset() > 0)
            nOffset = pField->GetOffset();
        if (pField->GetType() == VLPC_FIELD_MAC_ADDRESS) {
            m_nMACAddressOffset = nOffset;
            break;
        }
        nOffset += pField->GetSize();
    }
}

bool CVLPCPacketDataFormat::IsMatch(CVLMDVLPC* pModule, long nVersion, const VL_BYTE* pResult, char cPacketType) const
{
    (void)pModule;
    if (VLCompareVersion(nVersion, m_nVersion) < 0)
        return false;
    if (m_strResult.GetLength() > 0 && pResult != nullptr &&
        (pResult[0] != m_ResultCode[0] || pResult[1] != m_ResultCode[1]))
        return false;
    if (m_strPacketType.GetLength() == 0 || cPacketType == 0)
        return true;
    return m_strPacketType.Find(cPacketType, 0) >= 0;
}

bool CVLPCPacketDataFormat::MakePacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pSendPacket,
                                       CVLTarget* pTarget)
{
    CVLTargetLock lock(pTarget);
    long lOffset = VLPC_HEADER_SIZE;
    return CVLPCFieldList::MakePacket(pVLPC, pFunction, pSendPacket, pTarget, nullptr, lOffset);
}

void CVLPCPacketDataFormat::ExpandPacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket,
                                         CVLTarget* pTarget)
{
    CVLTargetLock lock(pTarget);
    long lOffset = VLPC_HEADER_SIZE;
    CVLPCFieldList::ExpandPacket(pVLPC, pFunction, pRecvPacket, pTarget, nullptr, lOffset);
}
