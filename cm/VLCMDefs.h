// Shared definitions of the module framework.
#ifndef VLCMDEFS_H
#define VLCMDEFS_H

// The module name of the framework's throw and trace sites.
#define VLCMAPI_MODULE "VLCMApi"

#endif
