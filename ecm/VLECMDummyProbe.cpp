// Until the dummy device lists are read, the simulated probe reports nothing.
#include "ecm/VLECMDummyProbe.h"

CVLECMDummyProbe::CVLECMDummyProbe()
    : m_pOwnerVLECMInstance(nullptr), m_pDummyProbeCallbackIF(nullptr), m_bInitialize(false)
{
}

CVLECMDummyProbe::~CVLECMDummyProbe()
{
    Terminate();
}

void CVLECMDummyProbe::Initialize(CVLECM* pVLECM, IVLECMDummyProbeCallbackIF* pDummyProbeCallbackIF)
{
    m_pOwnerVLECMInstance = pVLECM;
    m_pDummyProbeCallbackIF = pDummyProbeCallbackIF;
}

void CVLECMDummyProbe::Terminate()
{
    StopDummyProbe();
    m_bInitialize = false;
}

void CVLECMDummyProbe::StartDummyProbe() {}

void CVLECMDummyProbe::StopDummyProbe()
{
    End();
}
