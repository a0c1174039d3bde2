// CVLDefineLoader: the development form (a list of XML files and script
// sources) and the build tool's generated sources.
#include "cm/VLDefineLoader.h"

#include <limits.h>
#include <stdlib.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLTrace.h"
#include "base/stream/VLFileStream.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLCMDefs.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLDefineLoaderPrivate.h"
#include "script/VLScriptCompiler.h"

using namespace VLDefineLoaderPrivate;

namespace {

std::string Text(const CVLString& str)
{
    return std::string(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
}

// Appends pNode to pParent's children; deletes pNode when that fails.
void AppendNode(IVLXmlNode* pParent, IVLXmlNode* pNode)
{
    try {
        pParent->GetChildNodes()->Append(pNode);
    } catch (...) {
        pNode->Delete();
        throw;
    }
    pNode->SetParentNode(pParent);
}

// The file a path names, with links and "." resolved; the path itself when
// it does not resolve (its load then says why).
std::string ResolvedPath(const char* szPath)
{
    char resolved[PATH_MAX];
    return realpath(szPath, resolved) != nullptr ? std::string(resolved) : std::string(szPath);
}

}  // namespace

// ---------------------------------------------------------------------------
// The development form

void CVLDefineLoader::LoadFiles(const CVLLocalizeUtility& objPathInfo, VL_CONST_STR szFileName)
{
    static const char* const kSignature = "CVLDefineLoader::LoadFiles(const CVLLocalizeUtility&, VL_CONST_STR)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLLocalizeUtility pathInfo(objPathInfo);
        CVLString strListPath = pathInfo.GetLocalizedPath(szFileName);
        m_strCurrentFile = strListPath;
        m_strErrorText.clear();
        m_FilesRead.clear();
        m_FilesRead.push_back(strListPath);
        m_strSourcePath = strListPath;
        m_PassedOver.clear();
        m_DefinedNames.clear();
        m_nRecordNumber = 0;
        m_nRecordOffset = 0;
        CVLXmlDocument list;
        CVLFileStream stream;
        stream.SetFileName(strListPath.GetString());
        m_nCurrentLine = 0;
        try {
            list.Load(&stream);
        } catch (...) {
            m_nCurrentLine = list.GetLoadLine();
            m_nCurrentColumn = list.GetLoadColumn();
            throw;
        }
        CVLXmlElement* pRoot = list.GetDocumentElement();
        CVLXmlNodeConstIterator it;
        if (pRoot != nullptr)
            it = pRoot->GetChildNodes()->ConstBegin();
        int nFiles = 0;
        // A file listed twice (under one name or two: "a.xml", "./a.xml")
        // is read once; read again, its document would be doubled.
        std::set<std::string> resolved;
        for (; !it.IsEnd(); it.Next()) {
            IVLXmlNode* pNode = it.Get();
            if (pNode->GetNodeType() != VLXML_NODE_ELEMENT)
                continue;
            CVLXmlElement* pFile = static_cast<CVLXmlElement*>(pNode);
            std::string strTag = pFile->GetTagNameRef().GetBuffer();
            if (strTag != "File") {
                // Before any File, most likely another file given as the list.
                PassOver(std::string(nFiles == 0 ? "not a definition list: " : "") + "<" +
                         pRoot->GetTagNameRef().GetBuffer() + "> holds <" + strTag +
                         ">, where <File name=\"...\" type=\"xml|script\"/> elements were expected");
                continue;
            }
            CVLString strName = pFile->GetAttribute("name");
            CVLString strType = pFile->GetAttribute("type");
            const bool bXml = strType.GetLength() == 0 || strType.CompareNoCase("xml") == 0;
            const bool bScript = strType.CompareNoCase("script") == 0;
            if (m_bStrict && strName.GetLength() == 0)
                PassOver("a <File> element without a name");
            if (!bXml && !bScript) {
                PassOver("<File name=\"" + std::string(strName.GetBuffer()) + "\"> has the type \"" +
                         strType.GetBuffer() + "\", where xml or script was expected");
                continue;
            }
            ++nFiles;
            CVLString strPath = pathInfo.GetLocalizedPath(strName.GetString());
            if (!resolved.insert(ResolvedPath(strPath.GetString())).second)
                continue;
            m_strCurrentFile = strPath;
            m_FilesRead.push_back(strPath);
            if (bXml)
                LoadXmlFile(strPath.GetString());
            else
                CompileScriptFile(strPath.GetString());
            m_strCurrentFile = strListPath;
        }
        if (m_bStrict && nFiles == 0)
            PassOver("not a definition list: it names no file (<File name=\"...\" type=\"xml|script\"/> elements)");
        m_strCurrentFile = strListPath;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLDefineLoader::PassOver(const std::string& strWhat)
{
    if (m_bStrict)
        ThrowFormatError(__LINE__, strWhat.c_str());
    m_PassedOver.push_back(strWhat);
}

void CVLDefineLoader::LoadXmlFile(VL_CONST_STR szPath)
{
    CVLXmlDocument file;
    CVLFileStream stream;
    stream.SetFileName(szPath);
    m_nCurrentLine = 0;
    try {
        file.Load(&stream);
    } catch (...) {
        m_nCurrentLine = file.GetLoadLine();
        m_nCurrentColumn = file.GetLoadColumn();
        throw;
    }
    // The resource would be built without what the reader dropped.
    if (m_bStrict && !file.GetDropped().empty()) {
        m_nCurrentLine = file.GetDropped().front().nLine;
        m_nCurrentColumn = file.GetDropped().front().nColumn;
        ThrowFormatError(__LINE__, CVLXmlDocument::DescribeDropped(file.GetDropped().front()).c_str());
    }
    CVLXmlElement* pSrcRoot = file.GetDocumentElement();
    if (pSrcRoot == nullptr)
        return;
    CheckDefinedOnce(pSrcRoot);
    CVLString strName = pSrcRoot->GetTagName();
    CVLXmlDocument* pDocument = GetDocument(strName.GetString(), true);
    CVLXmlElement* pRoot = pDocument->GetDocumentElement();
    if (pRoot == nullptr) {
        pRoot = pDocument->CreateElement(strName.GetString());
        AppendNode(pDocument, pRoot);
        *pRoot = *pSrcRoot;
    } else {
        pRoot->CopyChildren(*pSrcRoot, false);
    }
}

void CVLDefineLoader::CheckDefinedOnce(const CVLXmlElement* pSrcRoot)
{
    const std::string strRoot = pSrcRoot->GetTagNameRef().GetBuffer();
    const std::string strFile(m_strCurrentFile.GetBuffer(), static_cast<size_t>(m_strCurrentFile.GetLength()));
    // The whole file is checked before any of its names is kept.
    std::vector<std::pair<std::string, SDefinedAt>> added;
    for (CVLXmlNodeConstIterator it = pSrcRoot->GetChildNodes()->ConstBegin(); !it.IsEnd(); it.Next()) {
        if (it.Get()->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        const CVLXmlElement* pChild = static_cast<const CVLXmlElement*>(it.Get());
        CVLString strName = pChild->GetAttribute("name");
        if (strName.GetLength() == 0)
            continue;
        const std::string strTag = pChild->GetTagNameRef().GetBuffer();
        // A later constant of a name takes its value: an overlay file may
        // set one again.
        if (strTag == "Const")
            continue;
        std::string strKey = strRoot;
        strKey += '\0';
        strKey += strTag;
        strKey += '\0';
        strKey.append(strName.GetBuffer(), static_cast<size_t>(strName.GetLength()));
        auto found = m_DefinedNames.find(strKey);
        if (found == m_DefinedNames.end()) {
            added.emplace_back(strKey, SDefinedAt{m_strCurrentFile, pChild->GetLoadLine()});
            continue;
        }
        if (Text(found->second.strFile) == strFile)
            continue;  // a name given twice in one file is its readers' to judge
        m_nCurrentLine = pChild->GetLoadLine();
        m_nCurrentColumn = 0;
        m_strErrorText = "<" + strTag + " name=\"" + Text(strName) + "\"> is defined in " +
                         Text(found->second.strFile) + " (line " + std::to_string(found->second.nLine) +
                         ") as well: files with the same root element <" + strRoot +
                         "> form one document, which defines a name once";
        throw new EVLXmlException(VLCMAPI_MODULE, s_szFile, __LINE__, VLXML_ERROR_PARAMETER, 0,
                                  m_strCurrentFile.GetString(), nullptr);
    }
    for (auto& entry : added)
        m_DefinedNames.emplace(std::move(entry));
}

std::string CVLDefineLoader::DescribeFormat(const EVLDefineFormatException* e) const
{
    const std::string& strKey = e->GetDefinitionKey();
    std::string strText = Text(m_strSourcePath);
    auto found = m_DefinedNames.find(strKey);
    if (found != m_DefinedNames.end()) {
        strText = Text(found->second.strFile);
        if (found->second.nLine > 0)
            strText += ": line " + std::to_string(found->second.nLine);
    }
    if (strText.empty())
        strText = "the definitions";
    const size_t nTag = strKey.find('\0');
    const size_t nName = nTag == std::string::npos ? std::string::npos : strKey.find('\0', nTag + 1);
    if (nName != std::string::npos)
        strText += ": <" + strKey.substr(nTag + 1, nName - nTag - 1) + " name=\"" + strKey.substr(nName + 1) + "\">";
    const std::string strElement = Text(e->GetTagName());
    const std::string strAttribute = Text(e->GetAttributeName());
    const bool bGiven = strElement.find(" " + strAttribute + "=") != std::string::npos;
    return strText + ": " + strElement + ": its \"" + strAttribute + "\" is " + (bGiven ? "not valid" : "missing");
}

void CVLDefineLoader::CompileScriptFile(VL_CONST_STR szPath)
{
    CVLString strFolder(VL_CHARSET_UTF8);
    CVLString strName(VL_CHARSET_UTF8);
    VLSplitPath(szPath, strFolder, strName);
    CVLFileStream stream;
    stream.SetFileName(szPath);
    m_nCurrentLine = 0;
    CVLScriptCompiler compiler;
    compiler.Compile(strName.GetString(), &stream, &m_ScriptCollection);
}

// ---------------------------------------------------------------------------
// The build tool's writers

void CVLDefineLoader::WriteLine(IVLStream* pStream, const CVLString& strText)
{
    WriteRaw(pStream, strText.GetBuffer(), static_cast<size_t>(strText.GetLength()));
    WriteRaw(pStream, "\r\n", 2);
}

void CVLDefineLoader::ReadModuleMapping(std::vector<CVLString>& modules)
{
    modules.clear();
    CVLXmlDocument* pDocument = GetDocument("ModuleMapping", false);
    CVLXmlElement* pRoot = pDocument != nullptr ? pDocument->GetDocumentElement() : nullptr;
    if (pRoot == nullptr)
        return;
    CVLXmlNodeList found(false);
    pRoot->GetElementsByTagName("Module", &found);
    for (CVLXmlNodeConstIterator it = found.ConstBegin(); !it.IsEnd(); it.Next()) {
        CVLString strName = static_cast<CVLXmlElement*>(it.Get())->GetAttribute("name");
        if (strName.GetLength() > 0)
            modules.push_back(strName);
    }
}

void CVLDefineLoader::WriteCSource(IVLStream* pOut, IVLStream* pData)
{
    static const char* const kSignature = "CVLDefineLoader::WriteCSource(IVLStream*, IVLStream*)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pOut == nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        std::vector<CVLString> modules;
        ReadModuleMapping(modules);
        WithOpenStream(pOut, VL_OPEN_WRITE, [&] {
            CVLString strFileName = pOut->GetName();
            int nSlash = strFileName.ReverseFind('/');
            if (nSlash >= 0)
                strFileName = strFileName.Mid(nSlash + 1);
            CVLString strLine("#define __THIS_LOGID__\tVL_TEXT(\"VLCMApi\")", VL_CHARSET_UTF8);
            WriteLine(pOut, strLine);
            strLine = "#define __THIS_FILE__\tVL_TEXT(\"";
            strLine += strFileName;
            strLine += "\")";
            WriteLine(pOut, strLine);
            WriteLine(pOut, CVLString(VL_CHARSET_UTF8));
            for (const CVLString& strModule : modules) {
                strLine = "#include <";
                strLine += strModule;
                strLine += ".h>";
                WriteLine(pOut, strLine);
            }
            WriteLine(pOut, CVLString(VL_CHARSET_UTF8));
            if (pData != nullptr) {
                std::string data = ReadWhole(pData);
                WriteLine(pOut, CVLString("VL_BYTE g_VLCMDEF[] = {", VL_CHARSET_UTF8));
                static const char kHex[] = "0123456789abcdef";
                const size_t kPerLine = 16;
                for (size_t nStart = 0; nStart < data.size(); nStart += kPerLine) {
                    std::string line = "\t";
                    for (size_t i = nStart; i < data.size() && i < nStart + kPerLine; ++i) {
                        if (i > nStart)
                            line += ' ';
                        unsigned char b = static_cast<unsigned char>(data[i]);
                        line += "0x";
                        line += kHex[b >> 4];
                        line += kHex[b & 0x0F];
                        if (i + 1 < data.size())
                            line += ',';
                    }
                    WriteLine(pOut, CVLString(line.data(), static_cast<int>(line.size()), VL_CHARSET_UTF8));
                }
                WriteLine(pOut, CVLString("};", VL_CHARSET_UTF8));
            }
            WriteLine(pOut, CVLString("void CVLCMApi::InitializeModuleLibraries(CVLCMApi& api)", VL_CHARSET_UTF8));
            WriteLine(pOut, CVLString("{", VL_CHARSET_UTF8));
            for (const CVLString& strModule : modules) {
                strLine = "\tVL_ADD_MODULE_STATIC_LIBRARY(api, \"";
                strLine += strModule;
                strLine += "\", C";
                strLine += strModule;
                strLine += ");";
                WriteLine(pOut, strLine);
            }
            WriteLine(pOut, CVLString("}", VL_CHARSET_UTF8));
        });
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLDefineLoader::WriteLibList(IVLStream* pOut, IVLStream* pTemplate)
{
    static const char* const kSignature = "CVLDefineLoader::WriteLibList(IVLStream*, IVLStream*)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pOut == nullptr || pTemplate == nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        std::vector<CVLString> modules;
        ReadModuleMapping(modules);
        CVLString strList("\t\"$(VLCMAPI_INLIBDIR)/VLCMApiLib.lib\" \\\r\n", VL_CHARSET_UTF8);
        for (const CVLString& strModule : modules) {
            strList += "\t\"$(VLCMAPI_INLIBDIR)/";
            strList += strModule;
            strList += "Lib.lib\" \\\r\n";
        }
        std::string data = ReadWhole(pTemplate);
        if (!data.empty()) {
            CVLString strText(data.data(), static_cast<int>(data.size()), VL_CHARSET_UTF8);
            strText.Replace("$(VLCMAPI_LIBLIST)", strList.GetString());
            WithOpenStream(pOut, VL_OPEN_WRITE,
                           [&] { WriteRaw(pOut, strText.GetBuffer(), static_cast<size_t>(strText.GetLength())); });
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}
