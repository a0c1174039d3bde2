// The record that the owner of the framework fills and hands to
// CVLCMApi::Initialize: where the definitions come from and which factory
// functions make targets, target lists, properties and property collections.
// The controller copies it, so the owner may keep it on the stack.
#ifndef VLCMAPICONFIG_H
#define VLCMAPICONFIG_H

#include "cm/VLCMDefs.h"
#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "base/system/VLLocalizeUtility.h"

class CVLCMApiConfig
{
public:
    CVLCMApiConfig();
    CVLCMApiConfig(const CVLCMApiConfig& src);
    virtual ~CVLCMApiConfig();

    virtual void SetPathInfo(const CVLLocalizeUtility& pathInfo);
    virtual CVLLocalizeUtility& GetPathInfo();
    virtual void SetFileListName(VL_CONST_STR szName);
    virtual CVLString& GetFileListName();
    virtual void SetDefineFilePath(VL_CONST_STR szPath);
    virtual CVLString& GetDefineFilePath();
    // The bytes are not copied: they must stay valid until Initialize has
    // loaded them.
    virtual void SetDefineData(VL_BYTE* pData, VL_LONG nSize);
    virtual VL_BYTE* GetDefineData();
    virtual VL_LONG GetDefineDataSize();
    virtual void SetTempPath(VL_CONST_STR szPath);
    virtual CVLString& GetTempPath();
    virtual void SetTargetFunc(VLCM_NEW_TARGET_FUNC pNew, VLCM_DELETE_TARGET_FUNC pDelete);
    virtual VLCM_NEW_TARGET_FUNC GetNewTargetFunc();
    virtual VLCM_DELETE_TARGET_FUNC GetDeleteTargetFunc();
    virtual void SetTargetListFunc(VLCM_NEW_TARGETLIST_FUNC pNew, VLCM_DELETE_TARGETLIST_FUNC pDelete);
    virtual VLCM_NEW_TARGETLIST_FUNC GetNewTargetListFunc();
    virtual VLCM_DELETE_TARGETLIST_FUNC GetDeleteTargetListFunc();
    virtual void SetPropertyFunc(VLCM_NEW_PROPERTY_FUNC pNew, VLCM_DELETE_PROPERTY_FUNC pDelete);
    virtual VLCM_NEW_PROPERTY_FUNC GetNewPropertyFunc();
    virtual VLCM_DELETE_PROPERTY_FUNC GetDeletePropertyFunc();
    virtual void SetPropertyCollectionFunc(VLCM_NEW_PROPERTYCOLLECTION_FUNC pNew,
                                           VLCM_DELETE_PROPERTYCOLLECTION_FUNC pDelete);
    virtual VLCM_NEW_PROPERTYCOLLECTION_FUNC GetNewPropertyCollectionFunc();
    virtual VLCM_DELETE_PROPERTYCOLLECTION_FUNC GetDeletePropertyCollectionFunc();

    // Member by member; the definition bytes are shared, not copied.
    virtual CVLCMApiConfig& operator=(const CVLCMApiConfig& src);

protected:
    CVLLocalizeUtility m_PathInfo;
    CVLString m_strFileListPath;
    CVLString m_strFileListName;
    CVLString m_strDefineFilePath;
    VL_BYTE* m_pDefineData;
    VL_LONG m_nDefineDataSize;
    CVLString m_strTempPath;
    VLCM_NEW_TARGET_FUNC m_pNewTargetFunc;
    VLCM_NEW_TARGETLIST_FUNC m_pNewTargetListFunc;
    VLCM_NEW_PROPERTY_FUNC m_pNewPropertyFunc;
    VLCM_NEW_PROPERTYCOLLECTION_FUNC m_pNewPropertyCollectionFunc;
    VLCM_DELETE_TARGET_FUNC m_pDeleteTargetFunc;
    VLCM_DELETE_TARGETLIST_FUNC m_pDeleteTargetListFunc;
    VLCM_DELETE_PROPERTY_FUNC m_pDeletePropertyFunc;
    VLCM_DELETE_PROPERTYCOLLECTION_FUNC m_pDeletePropertyCollectionFunc;
};

#endif
