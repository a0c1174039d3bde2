#include "cm/VLMargeCondition.h"

CVLMargeCondition::CVLMargeCondition()
{
}

CVLMargeCondition::~CVLMargeCondition()
{
}

void CVLMargeCondition::Clear()
{
    m_strPath.Empty();
}

CVLMargeCondition& CVLMargeCondition::operator=(const CVLMargeCondition& src)
{
    if (&src != this)
        m_strPath = src.m_strPath;
    return *this;
}
