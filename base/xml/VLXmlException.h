// The fault of the XML DOM and document reader.
#ifndef VLXMLEXCEPTION_H
#define VLXMLEXCEPTION_H

#include <string>

#include "base/core/VLException.h"

class IVLXmlNode;

// XML error codes.
enum
{
    VLXML_ERROR_VERSION = 1,    // the declaration names a version other than "1.0"
    VLXML_ERROR_INDEX = 2,      // a node-list index outside the list
    VLXML_ERROR_PARAMETER = 4,  // a required node, name or value is missing or not allowed
    VLXML_ERROR_PARSER = 5      // the pull parser stopped with an error
};

class EVLXmlException : public EVLException
{
public:
    EVLXmlException(const char* szModule, const char* szFile, int nLine, int nXmlErrorCode, int nParserErrorCode,
                    const char* szText, const IVLXmlNode* pNode);
    virtual ~EVLXmlException();

    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual int GetXmlErrorCode() const { return m_nXmlErrorCode; }
    virtual int GetParserErrorCode() const { return m_nParserErrorCode; }
    virtual const CVLString& GetText() const { return m_strText; }
    virtual const CVLString& GetNodeXml() const { return m_strNodeXml; }

    // The name of a parser error code ("PXP_SYNTAX_ERROR", ... or "Unknown").
    static const char* GetParserErrorName(int nCode);
    // What the document's fault was, in words for a user ("not well-formed
    // XML", "the XML declaration names a version other than 1.0").
    std::string GetReason() const;
    // The declared encoding of a document refused because the reader does
    // not read that encoding at all; the reason then names it.
    void SetUnreadEncoding(const char* szName) { m_strUnreadEncoding = szName != nullptr ? szName : ""; }
    // What the parser said its syntax error was (PXP_Parser::GetErrorDetail);
    // the reason then names it.
    void SetParserDetail(const char* szDetail) { m_strParserDetail = szDetail != nullptr ? szDetail : ""; }

protected:
    int m_nXmlErrorCode;
    int m_nParserErrorCode;
    CVLString m_strText;
    CVLString m_strNodeXml;
    std::string m_strUnreadEncoding;
    std::string m_strParserDetail;
};

#endif
