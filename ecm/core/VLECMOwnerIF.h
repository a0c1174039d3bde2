// The device manager as the parts it owns see it: the probe instance, the
// simulated probe and the device records read its options, use its module
// framework, queue their reports for its dispatch thread and have it set up
// the local networks of a probe or a reboot polling. It is also the callback
// interface a record's commands report to unless started with another.
#ifndef VLECMOWNERIF_H
#define VLECMOWNERIF_H

#include <utility>

#include "base/core/VLString.h"
#include "cm/VLCallbackInfo.h"
#include "ecm/core/VLECMCallbackIF.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/core/VLECMPostAnswers.h"

class CVLCMApi;
class CVLECMNIFInfo;
class CVLTarget;

class IVLECMOwnerIF : public IVLECMCallbackIF
{
public:
    virtual CVLCMApi* GetApi() = 0;
    // The option in force, or an empty text.
    virtual CVLString GetProperty(VL_CONST_STR szPropertyKey) = 0;
    // The path with a leading "$(APP_DIR)", "$(DEFAULT_DIR)" or
    // "$(LIBROOT_DIR)" expanded and every "\" made "/".
    virtual CVLString expandPathMacro(VL_CONST_STR szPath) = 0;
    // The lookup with a call's own map: that map, the options in force, the
    // built-in table. pOptionMap and pbFound may be null.
    virtual CVLString getOptionString(VL_CONST_STR szKey, const CVLECMPropertyMap* pOptionMap, bool* pbFound) = 0;
    // Every post the parts make goes through here, recorded, and on through
    // PostCallbackUser; fnLost (may be empty) runs once if the post is lost:
    // when the dispatch queue refuses it, whichever thread passes it on to
    // the implementation and whenever, or when the probe stops before
    // anything passed it on (see CVLECMPostAnswers). Once its target is
    // forgotten (ForgetPosts), a late pass-on of it is dropped.
    void PostCallbackQueued(CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback, long lCallbackId, void* pCallbackParam,
                            CVLECMPostAnswers::FLost fnLost)
    {
        CVLECMPostAnswers::SPost post;
        post.pTarget = pTarget;
        post.pCallback = pCallback;
        post.lCallbackId = lCallbackId;
        post.pCallbackParam = pCallbackParam;
        m_PostAnswers.Post(post, std::move(fnLost),
                           [&]() { PostCallbackUser(pTarget, pCallback, lCallbackId, pCallbackParam); });
    }
    // The probe stops: the posts not passed on yet are lost.
    void JudgeUnpassedPosts() { m_PostAnswers.Judge(); }
    // The record (null: every one) goes: nothing more of its posts is lost
    // or queued. Not under a lock that a post's loss takes.
    void ForgetPosts(CVLTarget* pTarget) { m_PostAnswers.Forget(pTarget); }
    // The local-network set-ups of a probe (pNIFInfo null) or a reboot
    // polling; true when every entry was handled.
    virtual bool SetupBindAddressInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                                      const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo) = 0;
    virtual bool SetupLocalDBCInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                                   const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo) = 0;
    // A new device record, made by the client's factory when it gave one;
    // and its end. MakeNIFInfo never answers null.
    virtual CVLTarget* MakeNIFInfo() = 0;
    virtual void DestroyNIFInfo(CVLTarget* pTarget) = 0;
    // True on the dispatch thread, where the reports to the client go.
    virtual bool IsDispatchThread() = 0;

protected:
    // Queues a report of a device record for the dispatch thread; it says
    // nothing of the queue's answer, so that a client's override keeps the
    // device manager's signature. The client's to override; the parts post
    // through PostCallbackQueued, so that no post goes unrecorded.
    virtual void PostCallbackUser(CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback, long lCallbackId,
                                  void* pCallbackParam) = 0;
    // The answers of the posts under way, settled by the implementation of
    // PostCallbackUser.
    CVLECMPostAnswers m_PostAnswers;
};

#endif
