// The communication modules of this program, registered with a framework
// facade in their fixed order. A program installs it before initializing the
// framework: CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries).
#ifndef VLMODULELIBRARIES_H
#define VLMODULELIBRARIES_H

class CVLCMApi;

void VLRegisterModuleLibraries(CVLCMApi& api);

#endif
