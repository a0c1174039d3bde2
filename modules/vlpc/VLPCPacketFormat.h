// The request and reply layouts of one device type and function code
// ("PacketFormat"), each possibly in several versions.
#ifndef VLPCPACKETFORMAT_H
#define VLPCPACKETFORMAT_H

#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

class CVLMDVLPC;
class CVLModuleController;
class CVLPCPacketDataFormat;
class CVLXmlElement;

class CVLPCPacketFormat
{
public:
    CVLPCPacketFormat();
    virtual ~CVLPCPacketFormat();

    // Reads the element; an empty deviceType or function throws
    // EVLDefineFormatException. Versions are looked up in pModule's map.
    virtual void Load(CVLModuleController* pController, CVLMDVLPC* pModule, const CVLXmlElement* pElement);
    virtual const CVLString& GetKey() const { return m_strKey; }
    virtual const CVLString& GetDeviceType() const { return m_strDeviceType; }
    virtual const CVLString& GetFunction() const { return m_strFunction; }
    virtual const CVLString& GetPropertyPath() const { return m_strPropertyPath; }
    virtual bool IsForceEncrypts() const { return m_bForceEncrypts; }
    // The matching layout of the highest version (the last of equal ones;
    // a layout of version -1 outranks known versions); null when none fits.
    virtual CVLPCPacketDataFormat* FindDataFormat(CVLMDVLPC* pModule, bool bRecv, long nVersion, const VL_BYTE* pResult,
                                                  char cPacketType) const;
    virtual CVLPCPacketDataFormat* FindSendDataFormat(CVLMDVLPC* pModule, long nVersion, char cPacketType) const;
    virtual CVLPCPacketDataFormat* FindRecvDataFormat(CVLMDVLPC* pModule, long nVersion, const VL_BYTE* pResult,
                                                      char cPacketType) const;
    virtual int GetSendDataFormatCount() const { return static_cast<int>(m_SendDataFormats.size()); }
    // A request layout by its position (0 to GetSendDataFormatCount() - 1).
    const CVLPCPacketDataFormat* GetSendDataFormat(int nIndex) const
    {
        return m_SendDataFormats[static_cast<size_t>(nIndex)];
    }
    virtual long GetVersion() const { return m_nVersion; }
    // A loaded layout; a load failure deletes it and passes on.
    virtual CVLPCPacketDataFormat* CreateDataFormat(CVLModuleController* pController, CVLMDVLPC* pModule,
                                                    const CVLXmlElement* pElement);

private:
    CVLPCPacketFormat(const CVLPCPacketFormat&) = delete;
    CVLPCPacketFormat& operator=(const CVLPCPacketFormat&) = delete;

    CVLString m_strKey;
    CVLString m_strDeviceType;
    CVLString m_strFunction;
    CVLString m_strPropertyPath;
    long m_nVersion;
    bool m_bForceEncrypts;
    std::vector<CVLPCPacketDataFormat*> m_SendDataFormats;
    std::vector<CVLPCPacketDataFormat*> m_RecvDataFormats;
};

#endif
