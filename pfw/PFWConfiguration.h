// The application's configuration ("vlres300.dat"): an XML document, plain
// or scrambled, with the root "Configurations" in the configuration
// namespace. Of its children this reads:
//   <CommunicationManager>
//     <Property key="Option.CheckUnicast.Timeout" value="3000"/>
//   </CommunicationManager>
//   <AcceptLanguage>en</AcceptLanguage>
//   <DummyWebConfigURL>http://$IP$/</DummyWebConfigURL>
// Each "Property" gives one option of the device manager: "key" is required
// and not empty, and given once; "value" may be empty, but not a value that
// the device manager refuses (CVLECM::JudgeOption: a number that is no
// whole number or out of its range, a flag that reads as neither), nor,
// once the device manager has loaded the definitions, a name they do not
// have (CheckNames). A key that no option has (case counts) is kept but
// named among the warnings, with the key meant when one is near; so is an
// element that is not read (a misspelt one, one of another namespace),
// with the element meant. "StringManager" is known and left alone. A file
// above 1 MiB is refused.
#ifndef PFWCONFIGURATION_H
#define PFWCONFIGURATION_H

#include <string>
#include <utility>
#include <vector>

#include "base/core/VLString.h"
#include "ecm/core/VLECMDefs.h"
#include "pfw/VLPFWDefs.h"

class CVLECM;
class CVLXmlElement;

class CPFWConfiguration
{
public:
    CPFWConfiguration();
    virtual ~CPFWConfiguration();

    // Reads the file. 0 on success; 12 when the path names no regular file
    // that can be read; 13 when the file is not a configuration
    // (GetErrorText says why, without the path). A failed load keeps nothing
    // of the file.
    virtual VLPFW_RESULT Load(VL_CONST_STR szPath);
    virtual void Clear();

    // The device manager's options from "CommunicationManager".
    virtual const CVLECMPropertyMap& GetCommunicationManagerPropertyMap() const { return m_PropertyMap; }
    virtual const CVLString& GetAcceptLanguage() const { return m_strAcceptLanguage; }
    // The web page URL template; empty for the default.
    virtual const CVLString& GetDummyWebConfigURL() const { return m_strDummyWebConfigURL; }
    // What was wrong with the last failed Load ("line 6: ..." where a line
    // tells).
    virtual const CVLString& GetErrorText() const { return m_strErrorText; }
    // Checks the options of the file that name something of the
    // definitions (a function, a packet list, a module instance) against
    // those the device manager loaded, after its Initialize: 13 for the
    // first, in the order of the file, that names nothing they have
    // (GetErrorText says its line, its key and the names they have);
    // else 0.
    virtual VLPFW_RESULT CheckNames(CVLECM& ecm);
    // What the last Load passed over that may not be what was meant, one
    // line each ("line 6: the "Property" ... did you mean ...?"); past the
    // first 20, a last line counts the others.
    const std::vector<std::string>& GetWarnings() const { return m_Warnings; }

protected:
    virtual void readCommunicationManager(CVLXmlElement* pElement);
    // Whether a further warning is kept; past the first 20, it is only
    // counted, and its text is not made.
    bool keepsWarning();

    CVLECMPropertyMap m_PropertyMap;
    // The line of each key's "Property", in the order of the file.
    std::vector<std::pair<VL_ULONG, CVLString>> m_PropertyLines;
    CVLString m_strAcceptLanguage;
    CVLString m_strDummyWebConfigURL;
    CVLString m_strErrorText;
    std::vector<std::string> m_Warnings;
    size_t m_nWarningsNotKept;
};

#endif
