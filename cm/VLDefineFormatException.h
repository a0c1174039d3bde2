// Thrown by the definition readers for an element that lacks a required
// attribute or carries a bad one.
#ifndef VLDEFINEFORMATEXCEPTION_H
#define VLDEFINEFORMATEXCEPTION_H

#include <string>

#include "base/core/VLException.h"

class CVLXmlElement;

class EVLDefineFormatException : public EVLException
{
public:
    EVLDefineFormatException(const char* szModule, const char* szFile, int nLine, const char* szTagName,
                             const char* szAttributeName);
    // For the element pElement of the definitions: its text, and where it
    // is (the element directly below its root that holds it).
    EVLDefineFormatException(const char* szModule, const char* szFile, int nLine, const CVLXmlElement* pElement,
                             const char* szAttributeName);
    virtual ~EVLDefineFormatException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetTagName() const { return m_strTagName; }
    virtual const CVLString& GetAttributeName() const { return m_strAttributeName; }
    // The root's tag, the holding element's tag and its "name", each ended
    // by a zero byte but the last (CVLDefineLoader's key of a definition);
    // empty when not known.
    const std::string& GetDefinitionKey() const { return m_strDefinitionKey; }

protected:
    CVLString m_strTagName;
    CVLString m_strAttributeName;
    std::string m_strDefinitionKey;
};

#endif
