// The check of vlnet run's PATH=VALUE arguments, made before anything is
// sent: a path must name a value that the command's request carries, as
// the loaded definitions lay it out, and the value must fit that field, so
// that a device is never given a value the user did not mean (a number cut
// to the field's width, a host name looked up, a text cut by the device).
#ifndef VLNETVALUECHECK_H
#define VLNETVALUECHECK_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CVLCMApi;
class CVLTarget;

class CVLNetValueCheck
{
public:
    // The longest text a device takes in a request field (the bound of
    // every text that a request carries, docs/protocol.md).
    enum
    {
        TEXT_BYTE_LIMIT = 64
    };

    // A request field a value can be given for.
    struct SField
    {
        std::string strPath;
        int nType;  // VLPC_FIELD_TYPE
        int nSize;  // the definitions' size
    };

    // The fields that the requests of a packet list carry, in every layout
    // version, each path once; not those without a property, those that
    // hold the device's own key values (its MAC address), counted lists,
    // passwords and types that write nothing.
    // With a device: only the layouts its requests use, by the version it
    // announced (a layout of a later version may carry more).
    static std::vector<SField> ReadRequestFields(CVLCMApi* pApi, const std::string& strPacketList,
                                                 CVLTarget* pDevice = nullptr);

    // True when a request of the packet list, in any layout version,
    // carries the device's password.
    static bool CarriesPassword(CVLCMApi* pApi, const std::string& strPacketList);

    // Empty when the value fits the field, with strValue made the form to
    // set (numbers and addresses in plain decimal); else why it does not.
    // A device's address, mask or gateway (IPAddress, SubnetMask, Gateway)
    // must also be one that leaves the device on the network.
    static std::string CheckValue(const SField& field, std::string& strValue);

    // Checks every assignment of the command against its fields, making
    // the accepted values the forms to set, and the addresses given
    // together as CheckSettings does (bForce as there); a path takes one
    // value. The address checks that hang on an IPMode are left to
    // CheckSettings where the fields carry an IPMode and none is given.
    // False with strError naming the first refused argument
    // ("PATH=VALUE: reason", a long one cut; a path near one it sends
    // proposed), or saying that a command which sends values was given
    // none. strTo follows "sends" in the reason (" to this device");
    // pForcible, when given, is set as SJudgement::bForcible.
    static bool Check(const std::vector<SField>& fields, const std::string& strCommand,
                      std::vector<std::pair<std::string, std::string>>& assignments, std::string& strError,
                      const std::string& strTo = std::string(), bool bForce = false, bool* pForcible = nullptr);

    // One of this computer's addresses, with its mask and the interface
    // that holds it.
    struct SLocalAddress
    {
        std::string strAddress;
        std::string strMask;
        std::string strInterface;
    };
    // Why nAddress (host order) cannot be a device's own address, whatever
    // the network ("a loopback address (127.0.0.0/8) cannot be a device's
    // address"); empty when it can.
    static std::string NoDeviceAddress(uint32_t nAddress);
    // What nAddress (host order) is to this computer: empty when it is no
    // address of its own; else, for a message, "this computer's own address
    // (eth0)", or "the network address" or "the broadcast address" "of this
    // computer's network 10.201.1.0/24 (eth0)", which the computer takes as
    // its network's own, so that no device is reached there. pOwn, when
    // given, is set true for the computer's own address.
    static std::string ComputerAddress(uint32_t nAddress, const std::vector<SLocalAddress>& computer,
                                       bool* pOwn = nullptr);

    // What the settings are judged against: the address the device is
    // reached at (which it may keep), this computer's own addresses, every
    // address heard in the probe with its MAC (the device's own MAC's other
    // addresses too), the device's MAC, and the interface the device was
    // heard on with this computer's addresses and masks there (empty: not
    // known, reach not judged).
    struct SNeighbours
    {
        std::string strCurrent;
        std::vector<SLocalAddress> computer;
        std::vector<std::pair<std::string, std::string>> devices;  // address, MAC
        std::string strMAC;
        std::string strInterface;
        std::vector<std::pair<std::string, std::string>> local;  // address, mask
    };
    // How a judgement ended: accepted, refused for what the command line
    // asks (the user's to mend), or refused for what the network holds (an
    // address another host has).
    enum EVerdict
    {
        VERDICT_ACCEPTED,
        VERDICT_REFUSED,
        VERDICT_IN_USE
    };
    struct SJudgement
    {
        EVerdict eVerdict = VERDICT_ACCEPTED;
        std::string strError;  // "PATH=VALUE: reason" when refused
        // Refused for what --force would send (reach, a gateway outside
        // the subnet): the command line is sound, the network is not.
        bool bForcible = false;
        // What bForce let through, one "PATH=VALUE: reason" each; bUnreached
        // when that leaves this computer unable to reach the device.
        std::vector<std::string> overridden;
        bool bUnreached = false;
        // A new address that only the network can tell free, to be asked
        // before the change goes ("PATH=VALUE" and the address); empty when none.
        std::string strAskArgument, strAskAddress;
    };
    // Judges the address settings the device will have, each value given
    // (as Check made it) over the value read (read: by path; what is in
    // neither is not judged), among the settings a value given changes. An
    // address, mask or gateway given must be one CheckValue takes. The
    // address must not be the network or broadcast address of its subnet,
    // nor in use (this computer's, heard in the probe, the device's
    // gateway), and must leave this computer reaching the device on the
    // interface it was heard on; the gateway (0.0.0.0: none) must be a host
    // of the subnet other than the device. Nor may the address be the
    // network or broadcast address of one of this computer's networks,
    // whatever the device's mask. A node whose IPMode is not 0
    // (DHCP, link-local) takes an address of its own but keeps one given
    // when no server answers: only that address (not 0.0.0.0, none) is
    // judged, and not for reach. bForce lets the reach and gateway-outside
    // refusals through, noted in overridden.
    static SJudgement CheckSettings(const std::vector<SField>& fields, const std::map<std::string, std::string>& read,
                                    const std::vector<std::pair<std::string, std::string>>& assignments,
                                    const SNeighbours& neighbours, bool bForce = false);

    // Where a change of these assignments (as Check made them) leaves the
    // device, its settings read by path (as CheckSettings takes them): the
    // address given when it is not strCurrent (empty when none), and
    // bOwnAddress set when an address or IPMode given leaves it in a mode
    // that takes an address of its own (DHCP, link-local).
    static std::string MovedTo(const std::vector<SField>& fields, const std::map<std::string, std::string>& read,
                               const std::vector<std::pair<std::string, std::string>>& assignments,
                               const std::string& strCurrent, bool& bOwnAddress);

    // The subnet arithmetic the judgements rest on, on addresses in host
    // order (a mask's prefix length is CVLSocketAddress::PrefixLength).
    // True when both addresses lie in one subnet of the mask.
    static bool SameSubnet(uint32_t nA, uint32_t nB, uint32_t nMask);
    // The other address of a /31 point-to-point pair.
    static uint32_t PairPartner(uint32_t nAddress) { return nAddress ^ 1u; }
    // True when a host at nLocal (mask nLocalMask) and a device at nDevice
    // (mask nDeviceMask) see each other on their link: each inside the
    // other's subnet as its own mask draws it.
    static bool ReachEachOther(uint32_t nLocal, uint32_t nLocalMask, uint32_t nDevice, uint32_t nDeviceMask);
};

#endif
