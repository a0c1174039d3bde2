// The probe module's instance: one receive thread per child instance, each
// sending its child's request on a schedule and reporting every accepted
// reply as a probe callback. A probe has no end of its own; whoever starts it
// stops the module instance.
#ifndef VLPROBE_H
#define VLPROBE_H

#include <map>
#include <set>
#include <string>

#include "base/core/VLThreadSync.h"
#include "cm/VLModInstanceIF.h"
#include "base/thread/VLLockableObject.h"

class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLProbeRecvThread;

// What the sends of a probe came to, over all its children, and whether
// their replies could be heard.
struct VLPROBE_SEND_STATUS
{
    long nSent = 0;        // sends that left the computer
    long nFailed = 0;      // sends that failed
    long nFirstError = 0;  // the error number of the first failure (0: none, or not a socket error)
    // Why the first failure's packet list was refused before it was sent
    // (a request the probe may not send); empty when it was not.
    std::string strFirstRefusal;
    // Replies lost: datagrams the system dropped for a full receive buffer
    // since the last send of their child, which no send has brought again.
    unsigned long nLost = 0;
    long nChildren = 0;  // children the probe drives
    // Children that cannot hear their replies, as a thread that was to
    // receive them (the probe's own, or their socket's) could not start,
    // and the error number of the first (errno's numbering; 0: not known).
    long nDeaf = 0;
    long nDeafError = 0;
};

class CVLProbe : public IVLModInstanceIF, public CVLLockableObject
{
public:
    CVLProbe();
    // Touches no thread: Stop or DestroyInstance has ended them.
    virtual ~CVLProbe();

    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Accepts the method "Probe" only.
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Ends every receive thread and waits for it.
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Starts one receive thread per child and returns at once. Refused
    // (EVLAlreadyExecException) while an earlier probe's threads exist.
    virtual void Probe(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams);

    // Every child sends its request again, on a round of the definitions'
    // schedule that follows the running one, from the sockets it has: the
    // replies to the earlier sends are still heard.
    void SendAgain();
    // The receive threads that exist now.
    int GetThreadCount();
    // The sends of the running (or last) probe.
    VLPROBE_SEND_STATUS GetSendStatus();
    // A receive thread's send: sent, or failed with the error number.
    void OnSendResult(bool bSent, long nError, const std::string& strRefusal = std::string());
    // A receive thread's replies lost since its child's last send.
    void OnReceiveLoss(CVLModuleInstance* pChild, unsigned long nLost);
    // A receive thread's child is about to send: the count of datagrams its
    // receivers dropped so far, from which its losses are counted.
    void OnChildSend(CVLModuleInstance* pChild, unsigned long nDrops);
    // A child that cannot hear its replies: a thread that was to receive
    // them could not start, with that error number.
    void OnDeafChild(CVLModuleInstance* pChild, long nError);

protected:
    void removeAllThread();

    // Child instance -> its receive thread; owns the threads, not the
    // children. Guarded by the instance's lock.
    std::map<CVLModuleInstance*, CVLProbeRecvThread*> m_ThreadMap;
    // Guarded by m_SendStatusSync alone: the threads report while
    // removeAllThread holds the instance's lock and waits for them.
    VLPROBE_SEND_STATUS m_SendStatus;
    // Each child's replies lost as its thread last reported them, and its
    // receivers' drop count at its last send: the status reads the drops
    // since then itself, so that a loss counts while the thread waits.
    struct SChildLoss
    {
        unsigned long nLost = 0;
        bool bSent = false;
        unsigned long nDropsAtLastSend = 0;
    };
    std::map<CVLModuleInstance*, SChildLoss> m_LostByChild;
    // The children that cannot hear their replies, counted into the status.
    std::set<CVLModuleInstance*> m_DeafChildren;
    CVLThreadSync m_SendStatusSync;
};

#endif
