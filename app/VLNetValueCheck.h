// The check of vlnet run's PATH=VALUE arguments, made before anything is
// sent: a path must name a value that the command's request carries, as
// the loaded definitions lay it out, and the value must fit that field, so
// that a device is never given a value the user did not mean (a number cut
// to the field's width, a host name looked up, a text cut by the device).
#ifndef VLNETVALUECHECK_H
#define VLNETVALUECHECK_H

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
    // together as CheckSettings does; a path takes one value. False with
    // strError naming the first refused argument ("PATH=VALUE: reason", a
    // long one cut; a path near one it sends proposed), or saying that a
    // command which sends values was given none. strTo follows "sends" in
    // the reason (" to this device").
    static bool Check(const std::vector<SField>& fields, const std::string& strCommand,
                      std::vector<std::pair<std::string, std::string>>& assignments, std::string& strError,
                      const std::string& strTo = std::string());

    // What a device's new address must not take: the address it is reached
    // at (which it may keep), this computer's own addresses, and the
    // addresses other devices answered the probe from, with their MACs.
    struct SNeighbours
    {
        std::string strCurrent;
        std::vector<std::string> computer;
        std::vector<std::pair<std::string, std::string>> devices;  // address, MAC
    };
    // Checks the address settings the device will have, each value given
    // (as Check made it) over the value read (read: by path; what is in
    // neither is not judged), among the settings a value given changes:
    // the address is neither the network nor the broadcast address of its
    // subnet, nor a neighbour's; the gateway (0.0.0.0: none) is a host of
    // the subnet. False with strError naming the value given and why.
    static bool CheckSettings(const std::vector<SField>& fields, const std::map<std::string, std::string>& read,
                              const std::vector<std::pair<std::string, std::string>>& assignments,
                              const SNeighbours& neighbours, std::string& strError);
};

#endif
