// Drives two property trees with paths and names taken from the input, as
// replies from the network do: lookups, creation by path, renames, merges,
// assignments across and within the trees, removals, clears and dumps.
// Refused operations throw framework exceptions; nothing may crash, recurse
// without bound or leak.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"

namespace {

// The next text of the input: up to the next 0x00 byte or the end.
std::string NextText(const uint8_t*& p, const uint8_t* pEnd)
{
    std::string s;
    while (p < pEnd && *p != 0)
        s += static_cast<char>(*p++);
    if (p < pEnd)
        ++p;
    return s;
}

// Nodes of the subtree; merges and copies can double a tree per step, so
// the run stops growing it past a few hundred nodes.
int CountNodes(CVLProperty* pNode)
{
    int n = 1;
    for (CVLPropertyIterator it = pNode->Begin(); !it.IsEnd(); it.Next())
        n += CountNodes(it.Get());
    return n;
}

const int kMaxNodes = 600;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CVLCMApi api;
    CVLProperty* aRoots[2] = {api.NewProperty(nullptr), api.NewProperty(nullptr)};
    const uint8_t* p = pData;
    const uint8_t* pEnd = pData + nSize;
    while (p < pEnd) {
        uint8_t nOp = *p++;
        CVLProperty* pRoot = aRoots[nOp & 1];
        CVLProperty* pOther = aRoots[(nOp & 1) ^ 1];
        std::string strPath = NextText(p, pEnd);
        try {
            CVLProperty* pNode = pRoot->GetProperty(strPath.c_str(), (nOp & 2) != 0);
            if (pNode == nullptr)
                pNode = pRoot;
            pNode->GetFullPath();
            switch ((nOp >> 2) % 9) {
            case 0: pNode->SetString(CVLString(strPath.c_str(), VL_CHARSET_UTF8)); break;
            case 1: pNode->SetName(strPath.c_str()); break;
            case 2: pNode->Merge(pOther); break;
            case 3: pOther->Merge(pNode); break;
            case 4: pNode->Assign(pRoot); break;
            case 5: pRoot->Merge(pNode); break;
            case 6: pNode->CreateChild(strPath.c_str()); break;
            case 7: pNode->Clear(); pNode->SetVariable(true); break;
            default: pRoot->RemoveChild(strPath.c_str()); break;
            }
            pRoot->IsEmpty();
            pRoot->IsModified();
        } catch (EVLException* e) {
            e->Delete();
        }
        if (CountNodes(aRoots[0]) + CountNodes(aRoots[1]) > kMaxNodes)
            break;
    }
    aRoots[0]->Dump(0, nullptr);
    aRoots[1]->Dump(0, "Properties");
    aRoots[0]->Destroy();
    aRoots[1]->Destroy();
    return 0;
}
