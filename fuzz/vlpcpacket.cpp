// Takes arbitrary bytes as a received VLPC datagram: header checks, the
// reply's packet format by its function code, then the request engine's
// CheckReply: the result class, deciphering with the device facts the first
// input byte chooses, the receive layout by version, result and type letter,
// the MAC check and expansion into a target's property tree. Refusals
// (EVLException) are expected; crashes, out-of-bounds reads and hangs are not.
#include <cstdint>
#include <cstring>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"
#include "modules/vlpc/VLPCPacketDataFormat.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "tests/support/modules/VLPCProfileLayouts.h"
#include "tests/support/XmlTestStream.h"

namespace {

struct Fixture
{
    Fixture()
    {
        CVLModuleController* pController = api.GetModuleController();
        CTestStream stream(VLPCProfileLayoutsXml());
        pController->GetDefineDocument("VLPC", true)->Load(&stream);
        params.SetController(pController);
        module.Initialize(&params);
    }
    CVLCMApi api;
    CVLMDVLPC module;
    CVLModuleParamCollection params;
    CVLPCFunction function;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static Fixture s_Fixture;
    if (nSize < 1 || nSize - 1 > static_cast<size_t>(VLPC_PACKET_CAPACITY))
        return 0;
    // The first byte: device number (high bits), encryption and version.
    const uint8_t nFacts = pData[0];
    CVLTarget target(&s_Fixture.api);
    CVLProperty* pRoot = target.GetProperties();
    pRoot->GetProperty("MACAddress", true)->SetString("00:26:AB:12:34:57", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A01_01.DeviceNumber", true)->SetUChar(nFacts & 0x80 ? 0x80 | (nFacts & 0x0F) : 5);
    pRoot->GetProperty("VLPC.2B_5A01_01.EncryptionMode", true)->SetUChar(nFacts & 0x40 ? 1 : 0);
    pRoot->GetProperty("VLPC.2B_5A01_01.EncryptionType", true)->SetUChar(nFacts & 0x40 ? 1 : 0);
    pRoot->GetProperty("VLPC.2B_5A01_01.VLPCVersion", true)
        ->SetUChar(static_cast<unsigned char>('0' + (nFacts & 0x03)));
    CVLPC vlpc(&s_Fixture.module);
    s_Fixture.params.SetTarget(&target);
    vlpc.LoadTargetProperties(&s_Fixture.params);
    s_Fixture.params.SetTarget(nullptr);

    CVLPCPacket packet;
    if (nSize > 1)
        packet.Append(pData + 1, static_cast<int>(nSize - 1));
    try {
        if (!packet.IsValidHeaderSize() || !packet.IsValidMagic() || packet.GetPacketType() == 0)
            return 0;
        (void)packet.IsInvalidDataSize();
        VL_BYTE nDevice = packet.GetDeviceType();
        CVLString strType;
        strType.SetHex(&nDevice, 1, true);
        CVLString strFunction;
        strFunction.SetHex(packet.GetFunction(), 2, true);
        strType += strFunction;
        CVLPCPacketFormat* pFormat = vlpc.FindPacketFormat(strType);
        if (pFormat == nullptr)
            return 0;
        (void)vlpc.GetPacketDescription(static_cast<char>(packet.GetPacketType()), pFormat);
        // The request engine's own judgement of the reply, against the
        // request it would answer: result class, deciphering, the MAC check
        // and the expansion into the target.
        CVLPCPacket sent;
        sent.Append(packet.GetData(), VLPC_HEADER_SIZE);
        sent.GetData()[5] = static_cast<VL_BYTE>(packet.GetPacketType() - VLPC_REPLY_LETTER_OFFSET);
        (void)vlpc.CheckReply(&target, &packet, &sent, &s_Fixture.function, pFormat, nullptr);
    } catch (EVLException* e) {
        e->Delete();
    }
    return 0;
}
