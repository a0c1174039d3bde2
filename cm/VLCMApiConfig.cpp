#include "cm/VLCMApiConfig.h"

#include "cm/VLCMDefs.h"
#include "base/core/VLException.h"

CVLCMApiConfig::CVLCMApiConfig()
    : m_strFileListPath(VL_CHARSET_UTF8), m_strFileListName(VL_CHARSET_UTF8), m_strDefineFilePath(VL_CHARSET_UTF8),
      m_pDefineData(nullptr), m_nDefineDataSize(0), m_strTempPath(VL_CHARSET_UTF8), m_pNewTargetFunc(nullptr),
      m_pNewTargetListFunc(nullptr), m_pNewPropertyFunc(nullptr), m_pNewPropertyCollectionFunc(nullptr),
      m_pDeleteTargetFunc(nullptr), m_pDeleteTargetListFunc(nullptr), m_pDeletePropertyFunc(nullptr),
      m_pDeletePropertyCollectionFunc(nullptr)
{
}

CVLCMApiConfig::CVLCMApiConfig(const CVLCMApiConfig& src) : CVLCMApiConfig()
{
    *this = src;
}

CVLCMApiConfig::~CVLCMApiConfig()
{
}

void CVLCMApiConfig::SetPathInfo(const CVLLocalizeUtility& pathInfo)
{
    m_PathInfo = pathInfo;
}

CVLLocalizeUtility& CVLCMApiConfig::GetPathInfo()
{
    return m_PathInfo;
}

void CVLCMApiConfig::SetFileListName(VL_CONST_STR szName)
{
    try {
        m_strFileListName = szName;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLCMApiConfig")
}

CVLString& CVLCMApiConfig::GetFileListName()
{
    return m_strFileListName;
}

void CVLCMApiConfig::SetDefineFilePath(VL_CONST_STR szPath)
{
    m_strDefineFilePath = szPath;
}

CVLString& CVLCMApiConfig::GetDefineFilePath()
{
    return m_strDefineFilePath;
}

void CVLCMApiConfig::SetDefineData(VL_BYTE* pData, VL_LONG nSize)
{
    m_pDefineData = pData;
    m_nDefineDataSize = nSize;
}

VL_BYTE* CVLCMApiConfig::GetDefineData()
{
    return m_pDefineData;
}

VL_LONG CVLCMApiConfig::GetDefineDataSize()
{
    return m_nDefineDataSize;
}

void CVLCMApiConfig::SetTempPath(VL_CONST_STR szPath)
{
    m_strTempPath = szPath;
}

CVLString& CVLCMApiConfig::GetTempPath()
{
    return m_strTempPath;
}

void CVLCMApiConfig::SetTargetFunc(VLCM_NEW_TARGET_FUNC pNew, VLCM_DELETE_TARGET_FUNC pDelete)
{
    m_pNewTargetFunc = pNew;
    m_pDeleteTargetFunc = pDelete;
}

VLCM_NEW_TARGET_FUNC CVLCMApiConfig::GetNewTargetFunc()
{
    return m_pNewTargetFunc;
}

VLCM_DELETE_TARGET_FUNC CVLCMApiConfig::GetDeleteTargetFunc()
{
    return m_pDeleteTargetFunc;
}

void CVLCMApiConfig::SetTargetListFunc(VLCM_NEW_TARGETLIST_FUNC pNew, VLCM_DELETE_TARGETLIST_FUNC pDelete)
{
    m_pNewTargetListFunc = pNew;
    m_pDeleteTargetListFunc = pDelete;
}

VLCM_NEW_TARGETLIST_FUNC CVLCMApiConfig::GetNewTargetListFunc()
{
    return m_pNewTargetListFunc;
}

VLCM_DELETE_TARGETLIST_FUNC CVLCMApiConfig::GetDeleteTargetListFunc()
{
    return m_pDeleteTargetListFunc;
}

void CVLCMApiConfig::SetPropertyFunc(VLCM_NEW_PROPERTY_FUNC pNew, VLCM_DELETE_PROPERTY_FUNC pDelete)
{
    m_pNewPropertyFunc = pNew;
    m_pDeletePropertyFunc = pDelete;
}

VLCM_NEW_PROPERTY_FUNC CVLCMApiConfig::GetNewPropertyFunc()
{
    return m_pNewPropertyFunc;
}

VLCM_DELETE_PROPERTY_FUNC CVLCMApiConfig::GetDeletePropertyFunc()
{
    return m_pDeletePropertyFunc;
}

void CVLCMApiConfig::SetPropertyCollectionFunc(VLCM_NEW_PROPERTYCOLLECTION_FUNC pNew,
                                               VLCM_DELETE_PROPERTYCOLLECTION_FUNC pDelete)
{
    m_pNewPropertyCollectionFunc = pNew;
    m_pDeletePropertyCollectionFunc = pDelete;
}

VLCM_NEW_PROPERTYCOLLECTION_FUNC CVLCMApiConfig::GetNewPropertyCollectionFunc()
{
    return m_pNewPropertyCollectionFunc;
}

VLCM_DELETE_PROPERTYCOLLECTION_FUNC CVLCMApiConfig::GetDeletePropertyCollectionFunc()
{
    return m_pDeletePropertyCollectionFunc;
}

CVLCMApiConfig& CVLCMApiConfig::operator=(const CVLCMApiConfig& src)
{
    if (&src == this)
        return *this;
    m_PathInfo = src.m_PathInfo;
    m_strFileListPath = src.m_strFileListPath;
    m_strFileListName = src.m_strFileListName;
    m_strDefineFilePath = src.m_strDefineFilePath;
    m_pDefineData = src.m_pDefineData;
    m_nDefineDataSize = src.m_nDefineDataSize;
    m_strTempPath = src.m_strTempPath;
    m_pNewTargetFunc = src.m_pNewTargetFunc;
    m_pNewTargetListFunc = src.m_pNewTargetListFunc;
    m_pNewPropertyFunc = src.m_pNewPropertyFunc;
    m_pNewPropertyCollectionFunc = src.m_pNewPropertyCollectionFunc;
    m_pDeleteTargetFunc = src.m_pDeleteTargetFunc;
    m_pDeleteTargetListFunc = src.m_pDeleteTargetListFunc;
    m_pDeletePropertyFunc = src.m_pDeletePropertyFunc;
    m_pDeletePropertyCollectionFunc = src.m_pDeletePropertyCollectionFunc;
    return *this;
}
