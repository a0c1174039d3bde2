#include "base/stream/VLStreamCollection.h"

#include "base/stream/VLFileStream.h"
#include "base/core/VLFileSystem.h"
#include "base/stream/VLMemoryStream.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteCloneNull = 322;
const int kSiteCloneMemory = 333;

CVLStreamCollection::CVLStreamCollection()
    : m_strCurrentKey(VL_CHARSET_UTF8), m_strFileFolder(VL_CHARSET_UTF8), m_strDefaultType("Memory", VL_CHARSET_UTF8)
{
}

CVLStreamCollection::~CVLStreamCollection()
{
    RemoveAll();
}

void CVLStreamCollection::DeleteElement(IVLStream* p)
{
    if (p != nullptr)
        p->Destroy();
}

IVLStream* CVLStreamCollection::CloneElement(const char* szKey, const IVLStream* p)
{
    if (p == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, "TVLStringKeyCollection", kSiteCloneNull);
    IVLStream* pTarget = Find(szKey);
    if (pTarget == nullptr) {
        pTarget = CreateElement(szKey);
        if (pTarget == nullptr)
            throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLStringKeyCollection", kSiteCloneMemory);
    }
    if (pTarget != p) {
        pTarget->m_strName = p->m_strName;
        pTarget->m_strReserved = p->m_strReserved;
        pTarget->m_strPath = p->m_strPath;
    }
    return pTarget;
}

IVLStream* CVLStreamCollection::CreateElement(const char* szName)
{
    CVLString strType = m_strDefaultType;
    auto it = m_Types.find(m_strCurrentKey);
    if (it != m_Types.end())
        strType = it->second;
    const char* szSafeName = szName == nullptr ? "" : szName;
    CVLString strName(szSafeName, VL_CHARSET_UTF8);
    IVLStream* pStream = nullptr;
    if (strType == "File") {
        if (m_strFileFolder.GetLength() > 0)
            strName = VLCombinePath(m_strFileFolder.GetString(), szSafeName);
        pStream = new CVLFileStream();
    } else if (strType == "Memory") {
        pStream = new CVLMemoryStream();
    } else {
        pStream = CreateCustomStream(strType.GetString());
    }
    if (pStream != nullptr) {
        pStream->SetName(strName.GetString());
        pStream->SetPath(m_strCurrentKey.GetString());
    }
    return pStream;
}

IVLStream* CVLStreamCollection::AddStream(const char* szName, const char* szKey)
{
    m_strCurrentKey = szKey == nullptr ? "" : szKey;
    return Add(szName);
}

void CVLStreamCollection::SetFileFolder(const char* szFolder)
{
    m_strFileFolder = szFolder == nullptr ? "" : szFolder;
}

CVLString& CVLStreamCollection::GetFileFolder()
{
    return m_strFileFolder;
}

void CVLStreamCollection::SetDefaultType(const char* szType)
{
    m_strDefaultType = szType == nullptr ? "" : szType;
}

CVLString& CVLStreamCollection::GetDefaultType()
{
    return m_strDefaultType;
}

void CVLStreamCollection::SetStreamType(const char* szKey, const char* szType)
{
    m_Types[CVLString(szKey == nullptr ? "" : szKey, VL_CHARSET_UTF8)] =
        CVLString(szType == nullptr ? "" : szType, VL_CHARSET_UTF8);
}

IVLStream* CVLStreamCollection::CreateCustomStream(const char*)
{
    return nullptr;
}

CVLString CVLStreamCollection::GetStreamType(const char* szKey) const
{
    auto it = m_Types.find(CVLString(szKey == nullptr ? "" : szKey, VL_CHARSET_UTF8));
    return it == m_Types.end() ? CVLString(VL_CHARSET_UTF8) : it->second;
}
