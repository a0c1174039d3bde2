#include "base/core/VLStream.h"

IVLStream::IVLStream() : m_strName(VL_CHARSET_UTF8), m_strReserved(VL_CHARSET_UTF8), m_strPath(VL_CHARSET_UTF8)
{
}

IVLStream::~IVLStream()
{
}

void IVLStream::SetName(VL_CONST_STR szName)
{
    m_strName = szName;
}

CVLString& IVLStream::GetName()
{
    return m_strName;
}

void IVLStream::SetPath(VL_CONST_STR szPath)
{
    m_strPath = szPath;
}

CVLString& IVLStream::GetPath()
{
    return m_strPath;
}
