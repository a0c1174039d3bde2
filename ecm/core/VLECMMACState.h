// How a probe judged one MAC address: every address heard for it, how each
// stands, and the one decision taken from them, which is the device
// manager's alone. Its clients read these as values; none holds a record.
#ifndef VLECMMACSTATE_H
#define VLECMMACSTATE_H

#include <string>
#include <vector>

#include "base/core/VLString.h"
#include "ecm/core/VLECMBoundReport.h"
#include "ecm/core/VLECMDefs.h"

// Addresses of one MAC kept and checked, its first included: a device has
// one, one with two ports or an address being moved a second; more are
// hosts claiming its MAC. The address the user named is checked beyond them.
enum
{
    VLECM_MAX_ADDRESSES_PER_MAC = 64
};

// What the addresses of a MAC come to. While the MAC has an address on the
// computer's networks, those on none of them (bOffNetwork) are only said:
// pending or judged, they neither hold the verdict nor split it.
enum VLECM_MAC_VERDICT
{
    // An address is not judged yet: heard, waiting for or in its check, or
    // its check passed and its follow-up commands are still to end.
    VLECM_MAC_PENDING,
    // Exactly one address passed (its unicast check and then its follow-up
    // commands). Also one address alone, no address having answered
    // unicast, whose check ended without unicast while the unicast filter
    // is off (bUnicast false).
    VLECM_MAC_ONE,
    // Two or more addresses passed, or, none having answered unicast and
    // the filter being off, two or more ended their checks without unicast:
    // the device cannot be told apart.
    VLECM_MAC_CONFLICT,
    // No address passed (or the client removed the MAC).
    VLECM_MAC_NONE
};

// How one address of a MAC stands.
enum VLECM_MAC_ADDRESS_STATE
{
    VLECM_MAC_ADDRESS_HEARD,     // its reply was admitted and waits to be handled
    VLECM_MAC_ADDRESS_WAITING,   // its record waits for its unicast check
    VLECM_MAC_ADDRESS_CHECKING,  // its unicast check runs
    // It answered unicast; its follow-up commands wait for a place of its
    // network's or run (every address of a MAC runs its own at once).
    VLECM_MAC_ADDRESS_ANSWERED,
    VLECM_MAC_ADDRESS_PASSED,   // it answered unicast and its follow-up commands succeeded
    VLECM_MAC_ADDRESS_FAILED,   // judged otherwise: eFailure says why
    VLECM_MAC_ADDRESS_REFUSED,  // a bound refused it (eBound): never checked
    VLECM_MAC_ADDRESS_BEYOND,   // heard beyond the addresses kept per MAC: never checked
    VLECM_MAC_ADDRESS_REMOVED   // the client removed the MAC
};

// Why an address failed.
enum VLECM_MAC_FAILURE
{
    VLECM_MAC_FAILURE_NONE,
    VLECM_MAC_FAILURE_NO_ANSWER,    // no reply to unicast by the check's time-out
    VLECM_MAC_FAILURE_NOT_UNICAST,  // the same with the unicast filter off: stands only alone
    VLECM_MAC_FAILURE_CHECK,        // the check ended with an error (eResult, nDeviceResult)
    VLECM_MAC_FAILURE_COMMAND,      // a follow-up command failed (eCommand, eResult, nDeviceResult)
    VLECM_MAC_FAILURE_LOST,         // its reply was lost before it was handled
    VLECM_MAC_FAILURE_STOPPED       // the probe stopped before its check or commands ended
};

struct SVLECMMACAddress
{
    CVLString strAddress;
    VLECM_MAC_ADDRESS_STATE eState = VLECM_MAC_ADDRESS_HEARD;
    // VLECM_MAC_ADDRESS_FAILED: why, the command that failed, its result and
    // the device's error code (0 when none); bAnsweredOtherwise when what
    // came from its address during the check was not its reply.
    VLECM_MAC_FAILURE eFailure = VLECM_MAC_FAILURE_NONE;
    VLECM_COMMAND eCommand = VLECM_COMMAND_CHECK_UNICAST;
    VLECM_RESULT eResult = VLECM_RESULT_SUCCESS;
    long nDeviceResult = 0;
    bool bAnsweredOtherwise = false;
    // Why its check or command sent nothing when a request of its list was
    // refused before it left (VLECM_RESULT_NOT_SUPPORTED): the list and the
    // request; empty otherwise.
    std::string strRefusal;
    // VLECM_MAC_ADDRESS_REFUSED: the bound, its number of devices and the
    // network it holds (empty: none of the computer's).
    VLECM_BOUND eBound = VLECM_BOUND_NETWORK;
    int nBound = 0;
    CVLString strNetwork;
    // The model name its replies carried (empty before its record is made).
    CVLString strModel;
    // What the computer lacked when its check or command last could not
    // start (kept when a stop judges it): VLECM_LACK_NONE once it starts.
    VLECM_LACK eLack = VLECM_LACK_NONE;
    // It answered its unicast check with the MAC.
    bool bUnicast = false;
    // It lies on none of the computer's networks: no check can reach it.
    bool bOffNetwork = false;
    // The client was handed the MAC from this address (OnProbe, the list).
    bool bReported = false;
};

// One MAC as judged at one moment.
struct SVLECMMACState
{
    CVLString strMAC;  // normal form
    VLECM_MAC_VERDICT eVerdict = VLECM_MAC_PENDING;
    // Every address heard for it in this probe, in the order heard: those
    // kept (checked or to be), then those a bound refused that are kept,
    // then those beyond the kept ones that the bounded list holds.
    std::vector<SVLECMMACAddress> addresses;
    // Addresses a bound refused, and addresses beyond the kept ones, in
    // all; bMore when not all of them are in addresses. Of each, the ones
    // on none of the computer's networks (bMore leaves them out): they
    // could not have been checked, so no device that unicast reaches is
    // among them; they are only said.
    unsigned long nRefused = 0;
    unsigned long nRefusedOffNetwork = 0;
    unsigned long nBeyond = 0;
    unsigned long nBeyondOffNetwork = 0;
    bool bMore = false;
    // The client removed it: nothing more of it is heard in this probe.
    bool bRemoved = false;
    // The change count at its last change (see CVLECM::GetMACChangeCount).
    unsigned long nChange = 0;
};

// One MAC as judged at one moment, counted without its addresses.
struct SVLECMMACSummary
{
    CVLString strMAC;  // normal form
    VLECM_MAC_VERDICT eVerdict = VLECM_MAC_PENDING;
    // The addresses kept (checked or to be), and of them those still to be
    // judged (heard, waiting for or in their check), those running their
    // follow-up commands (answered), those that passed, those that failed
    // and of these the ones that did not answer unicast.
    unsigned long nKept = 0;
    // Of the kept, those on none of the computer's networks.
    unsigned long nKeptOffNetwork = 0;
    unsigned long nPending = 0;
    unsigned long nAnswered = 0;
    unsigned long nPassed = 0;
    unsigned long nFailed = 0;
    unsigned long nNotUnicast = 0;
    // Addresses a bound refused, and addresses beyond the kept ones; these
    // and bMore as in SVLECMMACState.
    unsigned long nRefused = 0;
    unsigned long nRefusedOffNetwork = 0;
    unsigned long nBeyond = 0;
    unsigned long nBeyondOffNetwork = 0;
    bool bMore = false;
    // Handed on to the client, from that address (empty when not yet).
    bool bReported = false;
    CVLString strReportedAddress;
    // The record handed on carries the conflict mark.
    bool bConflictMarked = false;
    bool bRemoved = false;
    unsigned long nChange = 0;
};

// A MAC in conflict, reported as a bound's drop is: every address, why.
struct SVLECMConflictReport
{
    CVLString strMAC;
    std::vector<SVLECMMACAddress> addresses;
    // It was handed to the client before the conflict arose.
    bool bReported = false;
};

// What the ask of the named address learnt: the MACs (normal form) that
// answered, in the order heard (two mean two hosts answer for it); or why
// it could not ask, when this computer or the configuration stopped it
// (eFailure, and strRefusal naming the request the send guard refused),
// which no later round mends. No answer is no failure: nothing is learnt.
struct SVLECMNamedAsk
{
    std::vector<CVLString> answers;
    VLECM_RESULT eFailure = VLECM_RESULT_SUCCESS;
    std::string strRefusal;
};

// An address heard for a MAC, with that MAC (normal form).
struct SVLECMHeardAddress
{
    CVLString strMAC;
    SVLECMMACAddress address;
    VLECM_MAC_VERDICT eVerdict = VLECM_MAC_PENDING;
};

#endif
