// The module class of the VLPC device protocol, filed with the module
// controller as "VLMDVLPC". Initialization reads the definition document
// "VLPC" into four tables: packet lists by name, packet formats by key
// (device type text followed by function text), the version map from
// version characters to numbers, and the key properties that say where in a
// device's tree the protocol keeps its own values.
#ifndef VLMDVLPC_H
#define VLMDVLPC_H

#include <map>

#include "base/core/VLString.h"
#include "cm/VLModule.h"

class CVLModInstanceInfo;
class CVLModuleController;
class CVLPCPacketFormat;
class CVLPCPacketList;
class CVLXmlElement;

// Orders two version numbers, a missing version (-1) above any known one:
// 0 or more when the first is at least the second.
long VLCompareVersion(long nVersion1, long nVersion2);

class CVLMDVLPC : public virtual CVLModule
{
public:
    CVLMDVLPC();
    virtual ~CVLMDVLPC();

    // The number of functions of the packet list; 0 when there is none.
    virtual int GetPacketCount(VL_CONST_STR szPacketListName) override;
    long GetFunctionCount(VL_CONST_STR szPacketListName);
    virtual void AddPacketListNames(std::set<std::string>& names) override;
    virtual void AddPacketListRequests(CVLModuleController* pController, const CVLModInstanceInfo* pInfo,
                                       VL_CONST_STR szName, SVLPacketListRequests& list) override;
    // What the constants of an instance of pInfo add to every packet list
    // name it is asked to run ("packetListSuffix"); empty for none.
    static CVLString PacketListSuffix(CVLModuleController* pController, const CVLModInstanceInfo* pInfo);
    // A version text: empty is the NUL character, one byte is that
    // character, a longer text is one byte in hexadecimal (-1 when it is
    // not). The number is the version map's; -1 without an entry.
    virtual long GetVersionNumber(VL_CONST_STR szVersion);
    virtual long GetVersionNumber(char cVersion);

    // The tables, read by the module's instances; null or empty when the
    // entry is missing.
    CVLPCPacketList* FindPacketList(const CVLString& strName) const;
    CVLPCPacketFormat* FindPacketFormat(const CVLString& strKey) const;
    const CVLString* FindKeyPropertyPath(const char* szName) const;
    // True when a key property lives at that path (the device's own values).
    bool IsKeyPropertyPath(const CVLString& strPath) const;

protected:
    virtual void onInitialize(CVLModuleParamCollection* pParams) override;
    virtual void onTerminate(CVLModuleParamCollection* pParams) override;
    virtual IVLModInstanceIF* onNew() override;
    virtual void onDelete(IVLModInstanceIF* pInstanceIF) override;

private:
    CVLMDVLPC(const CVLMDVLPC&) = delete;
    CVLMDVLPC& operator=(const CVLMDVLPC&) = delete;

    void SetDefaultVersionMap();
    void LoadPacketList(CVLModuleController* pController, const CVLXmlElement* pElement);
    void LoadPacketFormat(CVLModuleController* pController, const CVLXmlElement* pElement);
    void LoadVersionMap(const CVLXmlElement* pElement);
    void LoadKeyProperty(const CVLXmlElement* pElement);
    void DeleteDefinitions();

    std::map<CVLString, CVLPCPacketList*> m_PacketLists;
    std::map<CVLString, CVLPCPacketFormat*> m_PacketFormats;
    std::map<unsigned char, long> m_VersionMap;
    std::map<CVLString, CVLString> m_KeyProperties;
};

// The "version" attribute of a definition element as a version number by
// the module's map; 0 when the element has none (or there is no module).
long VLPCReadVersion(CVLMDVLPC* pModule, const CVLXmlElement* pElement);

#endif
