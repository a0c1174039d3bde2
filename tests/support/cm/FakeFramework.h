// A facade with the logging fake modules registered ("ModB", then "ModA":
// registration order differs from name order), initialized from a module
// mapping (and optional further files) and terminated at the end.
#ifndef FAKEFRAMEWORK_H
#define FAKEFRAMEWORK_H

#include <string>

#include "cm/VLCMApi.h"
#include "cm/VLCMApiConfig.h"
#include "base/core/VLException.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cm/DefinitionFiles.h"
#include "tests/support/cm/FakeLog.h"
#include "tests/support/cm/ModuleRegistration.h"

// Registers the logging fakes "ModB" (2 packets) and "ModA" (1 packet).
void VLRegisterFakeModules(CVLCMApi& api);

class CFakeFramework
{
public:
    CFakeFramework();
    ~CFakeFramework();
    // Initializes with the "ModuleMapping" document text.
    void Start(const std::string& strMapping);
    CVLModuleController* Controller() { return m_Api.GetModuleController(); }

    CModuleRegistration m_Registration;
    CVLCMApi m_Api;
    CDefinitionFiles m_Files;
};

#endif
