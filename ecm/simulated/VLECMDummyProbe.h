// The simulated probe: reports the devices of two XML device lists beside the
// real ones, once per probe. "PropertyInfo.xml" holds property sets by
// hardware type (read once, by Initialize); "PrinterList.xml" holds the
// devices, each with its own sets (read anew at every run, so edits count at
// the next probe). Each device becomes a device record with the simulated
// mark, its flags and a property tree built from the sets.
//
// A run walks the device list on this object's thread and hands each record
// to the receiver there, holding no lock of its own; the receiver (the probe
// instance) keeps a copy and reports it through the device manager's
// callback queue like every other found device. No operation passes a
// failure to its caller; failures are traced.
//
// What is read is bounded: a list file above kMaxListFileBytes is refused,
// at most kMaxPrinters devices and kMaxProperties properties per file are
// taken (the rest is traced and skipped), and the XML reader bounds nesting.
#ifndef VLECMDUMMYPROBE_H
#define VLECMDUMMYPROBE_H

#include <atomic>
#include <map>
#include <thread>

#include "base/core/VLString.h"
#include "base/thread/VLThread.h"
#include "ecm/core/VLECMDefs.h"

class IVLECMOwnerIF;
class CVLECMNIFInfo;
class CVLXmlDocument;
class CVLXmlElement;
class IVLECMDummyProbeCallbackIF;

// One value of a property set: its type code and its text.
typedef struct _VLECM_DUMMY_PROPERTY_INFO
{
    int nDataType;
    CVLString strValue;
} VLECM_DUMMY_PROPERTY_INFO;

// Property path to value, and hardware type to such a set.
typedef std::map<CVLString, VLECM_DUMMY_PROPERTY_INFO> VLECM_DUMMY_PROPERTY_MAP;
typedef std::map<unsigned long, VLECM_DUMMY_PROPERTY_MAP> VLECM_DUMMY_PROPERTY_SET_MAP;

// One simulated device.
typedef struct _VLECM_DUMMY_PRINTER_INFO
{
    unsigned long ulHardwareType;
    VLECM_CONNECT_TYPE eConnectType;
    bool bUnicast;
    CVLString strIPAddress;
    VLECM_DUMMY_PROPERTY_SET_MAP PropertySetMap;
} VLECM_DUMMY_PRINTER_INFO;

// MAC address text, exactly as written, to device.
typedef std::map<CVLString, VLECM_DUMMY_PRINTER_INFO> VLECM_DUMMY_PRINTER_MAP;

// The "dataType" names of the lists (those of the VLPC field types), by code.
enum VLECM_DUMMY_DATA_TYPE
{
    VLECM_DUMMY_DATA_TYPE_BYTE = 0,
    VLECM_DUMMY_DATA_TYPE_BYTE_ARRAY = 1,
    VLECM_DUMMY_DATA_TYPE_NULL_BYTE_ARRAY = 2,
    VLECM_DUMMY_DATA_TYPE_VAR_BYTE_ARRAY = 3,
    VLECM_DUMMY_DATA_TYPE_STRING = 4,
    VLECM_DUMMY_DATA_TYPE_NULL_STRING = 5,
    VLECM_DUMMY_DATA_TYPE_VAR_STRING = 6,
    VLECM_DUMMY_DATA_TYPE_LENGTH_STRING = 7,
    VLECM_DUMMY_DATA_TYPE_IPV4_ADDRESS = 8,
    VLECM_DUMMY_DATA_TYPE_MAC_ADDRESS = 9,
    VLECM_DUMMY_DATA_TYPE_ULONG = 10,
    VLECM_DUMMY_DATA_TYPE_USHORT = 11,
    VLECM_DUMMY_DATA_TYPE_LE_USHORT = 12,
    VLECM_DUMMY_DATA_TYPE_PASSWORD = 13,
    VLECM_DUMMY_DATA_TYPE_CIPHER_KEY = 14,
    VLECM_DUMMY_DATA_TYPE_WEP_KEY_INFO = 15,
    VLECM_DUMMY_DATA_TYPE_OTHER = 16
};

class CVLECMDummyProbe : public CVLThread
{
public:
    // The namespaces of the two lists (matched in any letter case).
    static const char* const s_szPropertyInfoNamespaceURI;
    static const char* const s_szPrinterListNamespaceURI;

    static constexpr long kMaxListFileBytes = 1024 * 1024;
    static constexpr int kMaxPrinters = 256;
    static constexpr int kMaxProperties = 1024;

    CVLECMDummyProbe();
    virtual ~CVLECMDummyProbe();

    // Stores both, reads the options and "PropertyInfo.xml". Without the
    // folder or the file the object stays uninitialized and reports nothing.
    virtual void Initialize(IVLECMOwnerIF* pVLECM, IVLECMDummyProbeCallbackIF* pDummyProbeCallbackIF);
    virtual void Terminate();
    // Ends a run still going, then starts one.
    virtual void StartDummyProbe();
    // Ends the run and waits for it (on the run's own thread: only asks it to end).
    virtual void StopDummyProbe();

    virtual void loadDummyPropertyInfoXML();
    virtual void analyzeDummyPropertyInfo(CVLXmlDocument& document, VLECM_DUMMY_PROPERTY_SET_MAP& setMap);
    virtual void analyzeDummyPropertySetList(CVLXmlElement* pRootElement, VLECM_DUMMY_PROPERTY_SET_MAP& setMap);
    virtual void analyzeDummyPropertySet(CVLXmlElement* pSetElement, VLECM_DUMMY_PROPERTY_SET_MAP& setMap);
    virtual void analyzeDummyProperty(CVLXmlElement* pPropertyElement, VLECM_DUMMY_PROPERTY_MAP& pathMap);
    virtual void loadDummyPrinterListXML();
    virtual void analyzeDummyPrinterList(CVLXmlDocument& document, VLECM_DUMMY_PRINTER_MAP& printerMap);
    virtual void analyzeDummyPrinterListElement(CVLXmlElement* pRootElement, VLECM_DUMMY_PRINTER_MAP& printerMap);
    virtual void analyzeDummyPrinter(CVLXmlElement* pPrinterElement, VLECM_DUMMY_PRINTER_MAP& printerMap);
    // Writes the set of that hardware type into the record; a type without
    // a set is no failure.
    virtual void margeDummyPropertyByHardwareType(CVLECMNIFInfo& NIFInfo, VLECM_DUMMY_PROPERTY_SET_MAP& setMap,
                                                  unsigned long ulHardwareType);

    // One run: one pass over "PrinterList.xml".
    void OnThread(void* pData) override;

    // The "dataType" text's code; VLECM_DUMMY_DATA_TYPE_OTHER for any other text.
    static int GetDataTypeCode(const CVLString& strDataType);
    // "default" is 0; other text is hexadecimal, 0 when it does not parse.
    static unsigned long ParseHardwareType(const CVLString& strHardwareType);

    // For tests and diagnostics: the property sets read by Initialize.
    const VLECM_DUMMY_PROPERTY_SET_MAP& GetPropertyInfoSetMap() const { return m_DummyPropertyInfoSetMap; }
    bool IsInitialized() const { return m_bInitialize; }

protected:
    // The body of one run.
    virtual void runDummyProbe();
    // Reads a list file into a document, refusing one above the size bound.
    virtual void loadListDocument(const CVLString& strPath, CVLXmlDocument& document, const char* szSignature);

    IVLECMOwnerIF* m_pOwnerVLECMInstance;
    IVLECMDummyProbeCallbackIF* m_pDummyProbeCallbackIF;
    CVLString m_strRootDirectoryPath;
    CVLString m_strPropertyInfoFileName;
    CVLString m_strPrinterListFileName;
    VLECM_DUMMY_PROPERTY_SET_MAP m_DummyPropertyInfoSetMap;
    VLECM_DUMMY_PRINTER_MAP m_DummyPrinterMap;
    bool m_bInitialize;

    // The thread of the run in progress: a stop from there only asks the run
    // to end, since waiting for itself would leave it unjoined.
    std::atomic<std::thread::id> m_RunThreadId;
    // Properties counted while one file is read, against kMaxProperties.
    int m_nPropertyCount;
};

#endif
