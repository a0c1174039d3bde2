// Expands arbitrary bytes as a reply payload with each of the protocol's
// layouts (docs/protocol.md), then builds the layout back from the tree it made.
// Refusals (EVLException) are expected; crashes, out-of-bounds reads, hangs
// and unbounded growth are not. The first byte picks the layout.
#include <cstdint>
#include <cstring>

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"
#include "tests/support/modules/VLPCProfileLayouts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CVLCMApi s_Api;
    static CVLPCProfileLayouts s_Layouts;
    static CVLPCFunction s_Function;
    if (nSize == 0)
        return 0;
    CVLPCFieldList* pList = s_Layouts.m_Layouts[pData[0] % s_Layouts.m_Layouts.size()].pList;
    size_t nPayload = nSize - 1;
    if (nPayload > static_cast<size_t>(VLPC_PACKET_CAPACITY - VLPC_HEADER_SIZE))
        nPayload = VLPC_PACKET_CAPACITY - VLPC_HEADER_SIZE;
    CVLPCPacket packet;
    packet.SetSize(VLPC_HEADER_SIZE);
    if (nPayload > 0)
        packet.Append(pData + 1, static_cast<int>(nPayload));
    CVLTarget target(&s_Api);
    try {
        long lOffset = VLPC_HEADER_SIZE;
        pList->ExpandPacket(nullptr, &s_Function, &packet, &target, nullptr, lOffset);
    } catch (EVLException* e) {
        e->Delete();
    }
    try {
        packet.Clear();
        packet.SetSize(VLPC_HEADER_SIZE);
        long lOffset = VLPC_HEADER_SIZE;
        pList->MakePacket(nullptr, &s_Function, &packet, &target, nullptr, lOffset);
    } catch (EVLException* e) {
        e->Delete();
    }
    return 0;
}
