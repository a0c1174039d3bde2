#include "base/core/VLStream.h"

IVLStream::IVLStream() : m_strName(72), m_strReserved(72), m_strPath(72)
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
