// What the sources of CVLVariant (VLVariant.cpp, VLVariantConvert.cpp,
// VLVariantOperators.cpp) share: the value type ids, the guard against loops
// of references and object values, and the reading through them. Nothing
// else includes it.
#ifndef VLVARIANTPRIVATE_H
#define VLVARIANTPRIVATE_H

#include "base/value/VLVariant.h"

namespace VLVariantPrivate {

// The file name of every exception the variant throws.
const char* const s_szFile = "VLVariant";

enum
{
    kEmpty = 0,
    kBool = 1,
    kChar = 2,
    kUChar = 3,
    kShort = 4,
    kUShort = 5,
    kInt = 6,
    kUInt = 7,
    kLong = 8,
    kULong = 9,
    kLongLong = 10,
    kULongLong = 11,
    kFloat = 12,
    kDouble = 13,
    kString = 14,
    kBinary = 15,
    kDateTime = 16,
    kSocketAddress = 17,
    kXmlDocument = 18,
    kReference = 19,
    kObject = 20
};

// Chains of references and object values deeper than this are taken as a
// loop and read as an empty value.
const int kMaxIndirection = 64;
inline thread_local int t_nIndirectionDepth = 0;

// Counts the indirections being followed on this thread.
class CDepthGuard
{
public:
    CDepthGuard() { ++t_nIndirectionDepth; }
    ~CDepthGuard() { --t_nIndirectionDepth; }
    CDepthGuard(const CDepthGuard&) = delete;
    CDepthGuard& operator=(const CDepthGuard&) = delete;
    bool TooDeep() const { return t_nIndirectionDepth > kMaxIndirection; }
};

}  // namespace VLVariantPrivate

// The value behind a reference or object value, for the duration of one
// read. A missing target, or a loop of indirections, reads as empty.
class CVLVariant::CIndirection
{
public:
    explicit CIndirection(const CVLVariant& v) : m_pTarget(&m_Temp)
    {
        if (m_Guard.TooDeep())
            return;
        if (v.m_nType == VLVariantPrivate::kReference) {
            if (v.m_Value.pReference != nullptr)
                m_pTarget = v.m_Value.pReference;
        } else if (v.m_nType == VLVariantPrivate::kObject && v.m_Value.pObject != nullptr) {
            v.m_Value.pObject->GetValue(m_Temp);
        }
    }
    CIndirection(const CIndirection&) = delete;
    CIndirection& operator=(const CIndirection&) = delete;

    const CVLVariant& Get() const { return *m_pTarget; }

private:
    VLVariantPrivate::CDepthGuard m_Guard;
    CVLVariant m_Temp;
    const CVLVariant* m_pTarget;
};

#endif
